// The floor of our stack: a minimal Qt 6 Widgets program with a main window and four tabs of a
// few widgets each. The app's start-up, memory and idle cost are measured against it.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle("Qt floor");
  auto* tabs = new QTabWidget(&window);
  for (const char* title : {"One", "Two", "Three", "Four"}) {
    auto* page = new QWidget(tabs);
    auto* form = new QFormLayout(page);
    form->addRow(new QLabel(QString("The %1 tab").arg(title), page));
    form->addRow("Name", new QLineEdit(page));
    auto* choice = new QComboBox(page);
    choice->addItems({"First", "Second", "Third"});
    form->addRow("Choice", choice);
    form->addRow("Level", new QSlider(Qt::Horizontal, page));
    form->addRow(new QCheckBox("Enabled", page));
    form->addRow(new QPushButton("Apply", page));
    tabs->addTab(page, title);
  }
  window.setCentralWidget(tabs);
  window.resize(1000, 660);
  window.show();
  return QApplication::exec();
}
