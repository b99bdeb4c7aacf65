// The floor for TARNWICK's start-up time and memory: the least Qt Widgets program with a window like
// its main window (same size, flags and font, about as many labels, buttons, tick boxes and edits).
#include <QApplication>
#include <QCheckBox>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QWidget>

namespace {

// Twips to pixels at 15 twips a pixel, the unit TARNWICK's layout is designed in.
QRect Px(int left, int top, int width, int height) { return QRect(left / 15, top / 15, width / 15, height / 15); }

QLabel* Label(QWidget* parent, const char* text, QRect where, QColor back, QColor fore, int pixels) {
  auto* label = new QLabel(QString::fromLatin1(text), parent);
  label->setGeometry(where);
  label->setAlignment(Qt::AlignCenter);
  label->setWordWrap(true);
  QFont font = parent->font();
  font.setPixelSize(pixels);
  font.setBold(true);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, back);
  palette.setColor(QPalette::WindowText, fore);
  label->setPalette(palette);
  label->setAutoFillBackground(true);
  return label;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window(nullptr, Qt::Window);
  window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                        Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
  QFont font = QApplication::font();
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  window.setFont(font);
  window.setFixedSize(633, 119);
  window.setWindowTitle(QStringLiteral("MINIMAL_QT"));

  // The title band: pure green text on black, the colour the first-paint observer waits for.
  Label(&window, "MINIMAL_QT", Px(120, 0, 2055, 345), Qt::black, QColor(0, 255, 0), 16);
  Label(&window, "MINIMAL_QT", Px(2280, 0, 4935, 345), Qt::black, QColor(0, 255, 0), 16);
  // Nine lights and two green lines, as labels.
  const int light_left[] = {120, 1320, 2280, 3240, 3960, 5520, 6600, 7320, 8280};
  for (int left : light_left) Label(&window, "LIGHT", Px(left, 480, 855, 255), Qt::white, Qt::black, 11);
  Label(&window, "", Px(120, 1065, 9240, 45), QColor(0, 255, 0), Qt::black, 11);
  Label(&window, "", Px(120, 1665, 9240, 45), QColor(0, 255, 0), Qt::black, 11);
  // Nine buttons, three tick boxes, three edits.
  const int run_left[] = {1320, 2280, 3240, 3960, 5520, 7320};
  for (int left : run_left) (new QPushButton(QStringLiteral("RUN"), &window))->setGeometry(Px(left, 720, 855, 255));
  (new QPushButton(QStringLiteral("START"), &window))->setGeometry(Px(240, 1200, 975, 375));
  (new QPushButton(QStringLiteral("Settings"), &window))->setGeometry(Px(3480, 1200, 1215, 375));
  (new QPushButton(QStringLiteral("START"), &window))->setGeometry(Px(8280, 1200, 975, 375));
  (new QCheckBox(QStringLiteral("Auto Start"), &window))->setGeometry(Px(2280, 1200, 735, 375));
  (new QCheckBox(QStringLiteral("Always On Top"), &window))->setGeometry(Px(5160, 1200, 855, 375));
  (new QCheckBox(QStringLiteral("Auto Close"), &window))->setGeometry(Px(6480, 1200, 735, 375));
  (new QLineEdit(QStringLiteral("00"), &window))->setGeometry(Px(1440, 1200, 735, 435));
  (new QLineEdit(QStringLiteral("00"), &window))->setGeometry(Px(7320, 1200, 735, 435));
  (new QLineEdit(QStringLiteral("!!! LAST RUN !!!"), &window))->setGeometry(Px(7320, 0, 2055, 330));

  window.move(66, 66);
  window.show();
  return QApplication::exec();
}
