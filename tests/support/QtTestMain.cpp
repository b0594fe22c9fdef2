// main() for the test programs of windows and widgets: a QApplication on the
// offscreen platform. After every test, what it left queued for the GUI
// thread is handled (its fixture's handlers are gone by then) and the
// windows it left open are deleted, so that every test starts with none.

#include <QApplication>
#include <QPointer>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

class WindowSweeper : public testing::EmptyTestEventListener
{
    void OnTestEnd(const testing::TestInfo&) override
    {
        QCoreApplication::sendPostedEvents();
        QList<QPointer<QWidget>> windows;
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->parentWidget() == nullptr)
                windows.append(window);
        for (const QPointer<QWidget>& window : windows)
            delete window.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new WindowSweeper);
    return RUN_ALL_TESTS();
}
