// A save killed at any moment leaves the old file or the new one, never a mix or half of one.
#include "configuration_file.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <set>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {
pid_t StartSaver(const std::string& path, int first)
{
    const std::string firstArg = std::to_string(first);
    char* args[] = {const_cast<char*>(CONFIG_SAVER), const_cast<char*>(path.c_str()),
                    const_cast<char*>(firstArg.c_str()), nullptr};
    pid_t child = 0;
    return posix_spawn(&child, CONFIG_SAVER, nullptr, nullptr, args, environ) == 0 ? child : -1;
}

bool Killed(pid_t child)
{
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFSIGNALED(status);
}
} // namespace

TEST(KilledSave, LeavesEitherTheOldOrTheNewConfiguration)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("station.ini")).toStdString();

    // How long one save takes in this build, so that the kills fall before, during and after saves.
    const auto start = std::chrono::steady_clock::now();
    pid_t child = StartSaver(path, 0);
    ASSERT_GT(child, 0);
    while (!QFileInfo::exists(QString::fromStdString(path)) &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(60))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto save = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    ASSERT_TRUE(Killed(child));

    std::mt19937 random(7);
    std::set<int> seen;
    for (int round = 0; round < 40; ++round) {
        child = StartSaver(path, round % 2);
        ASSERT_GT(child, 0);
        std::this_thread::sleep_for(save / 4 + std::chrono::microseconds(random() % (2 * save.count() + 1)));
        ASSERT_TRUE(Killed(child)) << "the saver stopped by itself in round " << round;

        Profile profile;
        ASSERT_TRUE(profile.Load(path));
        const ConfigurationRead read = ReadConfiguration(profile);
        ASSERT_TRUE(read.configuration) << round;
        ASSERT_EQ(read.configuration->PageCount(), 64) << round;
        const std::uint16_t first = read.configuration->pages[0].thresholdHigh[0];
        for (const PageConfiguration& page : read.configuration->pages) {
            ASSERT_EQ(page.thresholdHigh[31], first) << "a mix of two saves in round " << round;
            ASSERT_EQ(page.thresholdLow[31], first - 1) << round;
        }
        seen.insert(first);
    }
    EXPECT_EQ(seen, (std::set<int>{1111, 2222})) << "both saves were caught at some point";
}
