#include "view/controls.h"

#include <algorithm>
#include <utility>

#include "foundation/encoding.h"

namespace brindle {

namespace {

bool StartsHidden(const names::ControlInfo& info) {
  using names::ControlKind;
  if (info.kind == ControlKind::kDialog || info.kind == ControlKind::kFileDialog) return true;
  const std::string_view name = info.name;
  return name == names::kNoticePanel || name == names::kPlayerPanel;
}

}  // namespace

Controls::Controls() {
  for (const names::ControlInfo& info : names::controls()) {
    Entry entry;
    entry.kind = info.kind;
    entry.radio_group = info.radio_group;
    entry.state.caption = gbk(info.caption);
    entry.state.visible = !StartsHidden(info);
    // The design's pre-selected options: automatic launch mode and the first mirror line.
    entry.state.checked = std::string_view(info.name) == names::kLaunchAuto ||
                          std::string_view(info.name) == names::kMirror1;
    entries_.emplace(info.name, std::move(entry));
    if (info.radio_group != names::kNoGroup) groups_[info.radio_group].push_back(info.name);
  }
}

bool Controls::Add(const std::string& name, names::ControlKind kind, const std::string& caption_gbk,
                   int radio_group) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (entries_.count(name) != 0) return false;
  Entry entry;
  entry.kind = kind;
  entry.radio_group = radio_group;
  entry.state.caption = caption_gbk;
  entries_.emplace(name, std::move(entry));
  if (radio_group != names::kNoGroup) groups_[radio_group].push_back(name);
  return true;
}

bool Controls::Has(std::string_view name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.find(name) != entries_.end();
}

std::vector<std::string> Controls::Names() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> out;
  out.reserve(entries_.size());
  for (const auto& [name, entry] : entries_) out.push_back(name);
  return out;
}

ControlState Controls::Get(std::string_view name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = entries_.find(name);
  return it == entries_.end() ? ControlState{} : it->second.state;
}

bool Controls::Enabled(std::string_view name) const { return Get(name).enabled; }
bool Controls::Checked(std::string_view name) const { return Get(name).checked; }
bool Controls::Visible(std::string_view name) const { return Get(name).visible; }
std::string Controls::Caption(std::string_view name) const { return Get(name).caption; }
int Controls::Value(std::string_view name) const { return Get(name).value; }
std::string Controls::Image(std::string_view name) const { return Get(name).image; }

template <typename Change>
bool Controls::Modify(std::string_view name, Change change) {
  std::lock_guard<std::recursive_mutex> notify(notify_mutex_);
  std::vector<std::pair<std::string, ControlState>> changed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = entries_.find(name);
    if (it == entries_.end()) return false;
    const ControlState before = it->second.state;
    change(it->second.state);
    if (it->second.state != before) changed.emplace_back(it->first, it->second.state);
    // A checked radio button unchecks the rest of its group.
    if (it->second.radio_group != names::kNoGroup && it->second.state.checked && !before.checked) {
      for (const std::string& member : groups_[it->second.radio_group]) {
        if (member == it->first) continue;
        const auto other = entries_.find(member);
        if (other == entries_.end() || !other->second.state.checked) continue;
        other->second.state.checked = false;
        changed.emplace_back(other->first, other->second.state);
      }
    }
  }
  if (observer_) {
    for (const auto& [changed_name, state] : changed) observer_(changed_name, state);
  }
  return true;
}

bool Controls::SetEnabled(std::string_view name, bool enabled) {
  return Modify(name, [&](ControlState& s) { s.enabled = enabled; });
}
bool Controls::SetChecked(std::string_view name, bool checked) {
  return Modify(name, [&](ControlState& s) { s.checked = checked; });
}
bool Controls::SetVisible(std::string_view name, bool visible) {
  return Modify(name, [&](ControlState& s) { s.visible = visible; });
}
bool Controls::SetCaption(std::string_view name, std::string caption_gbk) {
  return Modify(name, [&](ControlState& s) { s.caption = std::move(caption_gbk); });
}
bool Controls::SetValue(std::string_view name, int value) {
  return Modify(name, [&](ControlState& s) { s.value = value; });
}
bool Controls::SetImage(std::string_view name, std::string image) {
  return Modify(name, [&](ControlState& s) { s.image = std::move(image); });
}
bool Controls::Set(std::string_view name, const ControlState& state) {
  return Modify(name, [&](ControlState& s) { s = state; });
}

std::string Controls::CheckedInGroup(int radio_group) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto group = groups_.find(radio_group);
  if (group == groups_.end()) return {};
  for (const std::string& member : group->second) {
    const auto it = entries_.find(member);
    if (it != entries_.end() && it->second.state.checked) return member;
  }
  return {};
}

std::vector<std::string> Controls::GroupMembers(int radio_group) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto group = groups_.find(radio_group);
  return group == groups_.end() ? std::vector<std::string>{} : group->second;
}

int Controls::RadioGroup(std::string_view name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = entries_.find(name);
  return it == entries_.end() ? names::kNoGroup : it->second.radio_group;
}

void Controls::SetObserver(Observer observer) {
  std::lock_guard<std::recursive_mutex> notify(notify_mutex_);
  observer_ = std::move(observer);
}

}  // namespace brindle
