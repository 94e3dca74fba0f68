namespace brindle { int foundation_placeholder() { return 0; } }
