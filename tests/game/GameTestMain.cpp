// The game tests run with a QApplication on the offscreen platform, a
// private settings directory, a generated resource tree as the program's
// directory and a sound recorder as the sound output.

#include "GameTestSupport.h"

#include "app/AppLocation.h"
#include "app/MessageRepeater.h"
#include "kit/GuiBridge.h"
#include "kit/SoundOutput.h"
#include "kit/Threads.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return 2;
    const std::string root = scratch.path().toStdString();
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);

    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (CTest's discovery) runs without the test
    // environment; there is no display to open then either.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing_support::CreateResources(root);
    AppLocation::Instance()->SetPath(root);
    kit::SetSoundOutput(testing_support::SoundsPointer());
    MessageRepeater::Instance()->Run();

    const int result = RUN_ALL_TESTS();
    kit::ShutDownGui();
    MessageRepeater::Instance()->Quit();
    kit::JoinAllThreads();
    return result;
}
