// The references for the start-up benchmark: a bare QApplication with one empty window, shown and
// closed exactly as `brindle --exit-after-init` is (quit after the first paint). Built a second
// time as qt_hello_text (BRINDLE_HELLO_TEXT): the same window showing two Chinese captions, one
// regular and one bold, in the program's font families, with libcurl initialised as the program
// initialises it: what any window of this program must load before it has a widget of its own.
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#ifdef BRINDLE_HELLO_TEXT
#include <curl/curl.h>

#include <QFont>
#include <QLabel>
#include <QStringList>
#include <QVBoxLayout>
#endif

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
#ifdef BRINDLE_HELLO_TEXT
  if (curl_global_init(CURL_GLOBAL_ALL) != CURLE_OK) return 1;
#endif
  QApplication app(argc, argv);
  QWidget window;
  window.resize(1280, 840);
#ifdef BRINDLE_HELLO_TEXT
  // The families the program asks for, in its order.
  const QStringList families = {
      QStringLiteral("Microsoft YaHei UI"),  QStringLiteral("Microsoft YaHei"),
      QStringLiteral("Noto Sans CJK SC"),    QStringLiteral("Noto Sans SC"),
      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("sans-serif")};
  auto* layout = new QVBoxLayout(&window);
  for (const bool bold : {false, true}) {
    auto* label =
        new QLabel(QString::fromUtf8("资源下载 服务器列表 全部服务器 僵尸逃跑 娱乐综合"), &window);
    QFont font;
    font.setFamilies(families);
    font.setPixelSize(bold ? 22 : 13);
    font.setBold(bold);
    label->setFont(font);
    layout->addWidget(label);
  }
#endif
  QuitAfterPaint quit;
  window.installEventFilter(&quit);
  window.show();
  const int status = QApplication::exec();
#ifdef BRINDLE_HELLO_TEXT
  curl_global_cleanup();
#endif
  return status;
}
