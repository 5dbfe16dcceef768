#include <QSignalSpy>
#include <QTest>

#include "UiFixture.h"

using tandemo::Controller;
using tandemo::ui::testing::UiFixture;

class ControllerSignalsTest : public QObject {
  Q_OBJECT

 private slots:
  void forwardsEveryPublishedChange() {
    UiFixture f;
    QSignalSpy spy(f.controllerSignals.get(), &tandemo::ui::ControllerSignals::changed);
    f.change([](tandemo::AppState& s) { s.writeOnConnect = !s.writeOnConnect; });
    f.desktop.mouse().unplug();
    f.advance(0.1);
    QList<Controller::Property> seen;
    for (const auto& args : spy) seen.append(args.at(0).value<Controller::Property>());
    QVERIFY(seen.contains(Controller::Property::state));
    QVERIFY(seen.contains(Controller::Property::connected));
  }
};

QTEST_MAIN(ControllerSignalsTest)
#include "ControllerSignalsTest.moc"
