// The reference for the start-up benchmark: a bare QApplication with one empty window, shown and
// closed exactly as `brindle --exit-after-init` is (quit after the first paint).
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace {

class QuitAfterPaint : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !done_) {
      done_ = true;
      QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool done_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.resize(1280, 840);
  QuitAfterPaint quit;
  window.installEventFilter(&quit);
  window.show();
  return QApplication::exec();
}
