#include "profile.h"
#include "file_size_limit.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>

namespace {

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Join(std::initializer_list<const char*> lines, const char* end)
{
    std::string out;
    for (const char* line : lines)
        out.append(line).append(end);
    return out;
}

struct TempDir {
    QTemporaryDir dir;
    std::string path(const char* name) const { return dir.filePath(name).toStdString(); }
    QStringList entries() const { return QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot); }
};

TEST(ProfileRead, ConventionsTable)
{
    const std::string cut = "-" + std::string(77, '0') + "5"; // 79 characters
    const std::string hundred = cut + std::string(21, '7');
    const std::string text = "KEY=1\n"
                             "; comment\n"
                             "[Global]\n"
                             " Fpctest = 1 \n"
                             "\tWORD\t=\tabc\t\n"
                             "COL=  -12abc\n"
                             "ROW=+7\n"
                             "EMPTY=\n"
                             "SPACES = a b  c \n"
                             "HEX=0x10\n"
                             "STRAY=4\r\r\n"
                             "BIG=99999999999999999999\n"
                             "LONG=" + hundred + "\n"
                             "COL=99\n"
                             "[global]\n"
                             "ROW=55\n"
                             "NEW=1\n"
                             "[  Other  ]\n"
                             ";KEY=9\n"
                             "KEY=5\n";
    const Profile p = Profile::FromText(text);

    struct Case {
        const char* section;
        const char* key;
        std::string string;
        long number; // with fallback -1
    };
    const Case cases[] = {
        {"GLOBAL", "FPCTEST", "1", 1},          // case and blanks in names and value
        {"global", "word", "abc", 0},           // tabs are blanks; no digits gives 0
        {"GLOBAL", "COL", "-12abc", -12},       // sign, trailing text; the first COL counts
        {"GLOBAL", "ROW", "+7", 7},             // the repeated section is never read
        {"GLOBAL", "NEW", "", -1},              // a key only in the repeated section is missing
        {"GLOBAL", "EMPTY", "", 0},             // present but empty is 0, not the fallback
        {"GLOBAL", "SPACES", "a b  c", 0},      // inner blanks stay
        {"GLOBAL", "HEX", "0x10", 0},           // decimal only
        {"GLOBAL", "STRAY", "4", 4},            // a stray CR is a blank
        {" global ", "\tfpctest ", "1", 1},    // blanks around the names asked for
        {"GLOBAL", "BIG", "99999999999999999999", LONG_MAX},
        {"GLOBAL", "LONG", cut, -5},            // cut at 79 before the conversion
        {"OTHER", "KEY", "5", 5},               // blanks inside brackets; comments are not keys
        {"Missing", "KEY", "", -1},
        {"", "KEY", "", -1},                    // a key ahead of any section belongs to none
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        EXPECT_EQ(p.GetString(c.section, c.key), c.string);
        EXPECT_EQ(p.GetInt(c.section, c.key, -1), c.number);
    }
}

TEST(ProfileRead, LineEndsAndByteOrderMarkRoundTrip)
{
    const std::string bom = "\xEF\xBB\xBF";
    const std::string lf = Join({"[A]", "K=v", "[B]", "X=2"}, "\n");
    const std::string crlf = Join({"[A]", "K=v", "[B]", "X=2"}, "\r\n");
    const std::string texts[] = {lf, crlf, bom + crlf, bom + lf, crlf.substr(0, crlf.size() - 2),
        "[A]\r\nK=v\n[B]\r\nX=2"};
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        const Profile p = Profile::FromText(text);
        EXPECT_EQ(p.GetString("A", "K"), "v");
        EXPECT_EQ(p.GetInt("B", "X", -1), 2);
        EXPECT_EQ(p.Text(), text);
    }
}

TEST(ProfileWrite, ReplacingAKeyChangesOnlyItsLine)
{
    TempDir tmp;
    const std::string path = tmp.path("limits.ini");
    const auto file = [](const char* colLine) {
        return "\xEF\xBB\xBF; limits\r\n"
               "[UNKNOWN]\r\n"
               "COL=7\n"
               "[GLOBAL]  \r\n"
               "FPCTEST=0\r\n"
               + std::string(colLine) + "\r\n"
               "ROW=1\r\n"
               "\r\n"
               "[GLOBAL]\r\n"
               "COL=8\r\n";
    };
    WriteBytes(path, file("  Col \t=  2   "));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);

    Profile p;
    ASSERT_TRUE(p.Load(path));
    ASSERT_TRUE(p.SetString("global", "COL", "3"));
    ASSERT_TRUE(p.Save(path)) << p.Error();

    EXPECT_EQ(ReadBytes(path), file("  Col \t=  3"));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(tmp.entries(), QStringList{"limits.ini"});
}

TEST(ProfileWrite, MissingKeysAndSectionsAppended)
{
    struct Case {
        const char* name;
        std::string before;
        const char* section;
        const char* key;
        std::string after;
    };
    const Case cases[] = {
        {"key after the last key of its section, ahead of what leads to the next",
            "[A]\r\nK=1\r\n; about B\r\n\r\n[B]\r\nX=2\r\n", "a", "N",
            "[A]\r\nK=1\r\nN=v\r\n; about B\r\n\r\n[B]\r\nX=2\r\n"},
        {"key into a section without keys", "[A]\n; none yet\n[B]\n", "A", "N", "[A]\nN=v\n; none yet\n[B]\n"},
        {"key into the first of two sections of one name", "[A]\nK=1\n[A]\nN=2\n", "A", "N",
            "[A]\nK=1\nN=v\n[A]\nN=2\n"},
        {"section at the end, in the file's line ends", "[A]\nK=1\n\n", "C", "N", "[A]\nK=1\n\n[C]\nN=v\n"},
        {"section after a last line without line end", "[A]\r\nK=1", "C", "N", "[A]\r\nK=1\r\n[C]\r\nN=v"},
        {"key after a last line without line end", "[A]\nK=1", "A", "N", "[A]\nK=1\nN=v"},
        {"key after a last line ending in a stray CR", "[A]\nK=1\r", "A", "N", "[A]\nK=1\r\nN=v"},
        {"empty text gets CRLF", "", "C", "N", "[C]\r\nN=v\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Profile p = Profile::FromText(c.before);
        ASSERT_TRUE(p.SetString(c.section, c.key, "v"));
        EXPECT_EQ(p.Text(), c.after);
        EXPECT_EQ(p.GetString(c.section, c.key), "v");
    }
}

TEST(ProfileWrite, NamesAndValuesThatWouldBreakLinesRefused)
{
    const std::string text = "[A]\r\nK=1\r\n";
    struct Case {
        const char* section;
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {"A", "K", "1\r\n[B]"}, {"A", "K\nX", "1"}, {"A]", "K", "1"}, {"A", "K=X", "1"}, {"A", " ;K", "1"},
        {"A", "[K", "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key + "/" + c.value);
        Profile p = Profile::FromText(text);
        EXPECT_FALSE(p.SetString(c.section, c.key, c.value));
        EXPECT_EQ(p.Text(), text);
    }
}

TEST(ProfileSave, MissingFileCreatedWithCrlf)
{
    TempDir tmp;
    const std::string path = tmp.path("new.ini");
    Profile p;
    ASSERT_TRUE(p.Load(path)) << p.Error();
    EXPECT_EQ(p.GetInt("GLOBAL", "COL", -1), -1);
    ASSERT_TRUE(p.SetString("GLOBAL", "FPCTEST", "0"));
    ASSERT_TRUE(p.SetString("PAGE00_DATARANG", "MAX", "1500"));
    ASSERT_TRUE(p.SetString("GLOBAL", "COL", "1"));
    ASSERT_TRUE(p.Save(path)) << p.Error();

    EXPECT_EQ(ReadBytes(path), "[GLOBAL]\r\nFPCTEST=0\r\nCOL=1\r\n[PAGE00_DATARANG]\r\nMAX=1500\r\n");
    EXPECT_EQ(tmp.entries(), QStringList{"new.ini"});
    Profile back;
    ASSERT_TRUE(back.Load(path));
    EXPECT_EQ(back.GetInt("page00_datarang", "max", 0), 1500);
}

// Made without permissions, since the tests run as root.
TEST(ProfileSave, FailureReportedAndOldFileKept)
{
    TempDir tmp;
    const std::string old = tmp.path("old.ini");
    const std::string oldBytes = "[A]\r\nK=1\r\n";
    WriteBytes(old, oldBytes);

    Profile p = Profile::FromText(oldBytes);
    ASSERT_TRUE(p.SetString("A", "K", "2"));
    EXPECT_FALSE(p.Save(old + "/inside.ini"));
    EXPECT_NE(p.Error().find(std::strerror(ENOTDIR)), std::string::npos) << p.Error();

    // A write that stops half way: the old file stays whole and no temporary file is left.
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(p.SetString("A", "K" + std::to_string(i), std::string(40, 'x')));
    bool saved_ok = true;
    {
        const FileSizeLimit limit(1024);
        ASSERT_TRUE(limit.ok());
        saved_ok = p.Save(old);
    }

    EXPECT_FALSE(saved_ok);
    EXPECT_NE(p.Error().find(std::strerror(EFBIG)), std::string::npos) << p.Error();
    EXPECT_EQ(ReadBytes(old), oldBytes);
    EXPECT_EQ(tmp.entries(), QStringList{"old.ini"});

    Profile unreadable;
    EXPECT_FALSE(unreadable.Load(tmp.dir.path().toStdString()));
    EXPECT_NE(unreadable.Error().find(std::strerror(EISDIR)), std::string::npos) << unreadable.Error();
}

} // namespace
