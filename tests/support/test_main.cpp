#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    // Must be set before QApplication exists; CI has no display.
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // Windows made by the tests keep their test records (and spill files) here, not in the user's
    // data and state folders.
    QTemporaryDir data, state;
    setenv("XDG_DATA_HOME", data.path().toUtf8().constData(), 1);
    setenv("XDG_STATE_HOME", state.path().toUtf8().constData(), 1);
    return RUN_ALL_TESTS();
}
