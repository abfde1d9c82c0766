// Both savers replace a file through a temporary one: what a link points at, and who owns the
// file, must come through that replacement unchanged.
#include "profile.h"
#include "raw_data_file.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Saver {
    const char* name;
    std::function<bool(const std::string& path, std::string& error)> save;
};

const Saver kSavers[] = {
    {"profile",
     [](const std::string& path, std::string& error) {
         Profile p = Profile::FromText("[GLOBAL]\r\nCOL=2\r\n");
         const bool ok = p.Save(path);
         error = p.Error();
         return ok;
     }},
    {"raw data", [](const std::string& path, std::string& error) {
         return WriteRawDataFile(path, {RawLine{true, {}}}, &error);
     }},
};

struct ReplaceFile : ::testing::Test {
    QTemporaryDir dir;
    std::string path(const char* name) const { return dir.filePath(name).toStdString(); }
    static bool IsLink(const std::string& p)
    {
        struct stat st {};
        return ::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    }
};

TEST_F(ReplaceFile, ASaveThroughALinkChangesTheLinkedFileAndKeepsTheLink)
{
    ASSERT_EQ(::mkdir(path("real").c_str(), 0755), 0);
    struct Case {
        const char* link;
        const char* pointsAt; // as written in the link
        const char* target;   // the file that must get the content
    };
    const Case cases[] = {
        {"relative.ini", "real/a.ini", "real/a.ini"},
        {"dangling.ini", "real/new.ini", "real/new.ini"},
        {"chain.ini", "relative.ini", "real/a.ini"},
    };
    for (const Saver& saver : kSavers) {
        SCOPED_TRACE(saver.name);
        std::ofstream(path("real/a.ini"), std::ios::binary) << "old";
        ::unlink(path("real/new.ini").c_str());
        for (const Case& c : cases) {
            SCOPED_TRACE(c.link);
            ::unlink(path(c.link).c_str());
            ASSERT_EQ(::symlink(c.pointsAt, path(c.link).c_str()), 0);
            std::string error;
            ASSERT_TRUE(saver.save(path(c.link), error)) << error;
            EXPECT_TRUE(IsLink(path(c.link)));
            EXPECT_NE(ReadBytes(path(c.target)), "old");
            EXPECT_EQ(ReadBytes(path(c.target)), ReadBytes(path(c.link)));
        }
        // An absolute link, and no temporary file left beside the link or the target.
        ::unlink(path("abs.ini").c_str());
        ASSERT_EQ(::symlink(path("real/a.ini").c_str(), path("abs.ini").c_str()), 0);
        std::ofstream(path("real/a.ini"), std::ios::binary) << "old";
        std::string error;
        ASSERT_TRUE(saver.save(path("abs.ini"), error)) << error;
        EXPECT_TRUE(IsLink(path("abs.ini")));
        EXPECT_NE(ReadBytes(path("real/a.ini")), "old");
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System).size(), 4);
        EXPECT_EQ(QDir(dir.filePath("real")).entryList(QDir::Files).size(), 2);
    }
}

TEST_F(ReplaceFile, ALinkThatLeadsNowhereIsRefused)
{
    ASSERT_EQ(::symlink("loop.ini", path("loop.ini").c_str()), 0);
    for (const Saver& saver : kSavers) {
        SCOPED_TRACE(saver.name);
        std::string error;
        EXPECT_FALSE(saver.save(path("loop.ini"), error));
        EXPECT_NE(error.find("Too many levels of symbolic links"), std::string::npos) << error;
        EXPECT_TRUE(IsLink(path("loop.ini")));
    }
}

TEST_F(ReplaceFile, AnotherUsersFileKeepsItsOwnerGroupAndMode)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user";
    for (const Saver& saver : kSavers) {
        SCOPED_TRACE(saver.name);
        const std::string file = path("theirs.ini");
        std::ofstream(file, std::ios::binary) << "old";
        ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
        std::string error;
        ASSERT_TRUE(saver.save(file, error)) << error;
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        EXPECT_NE(ReadBytes(file), "old");
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
    }
}

} // namespace
