#include "raw_data_file.h"
#include "file_size_limit.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::string_literals;
using Values = std::array<std::int32_t, RAW_CHANNELS>;

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

struct TempDir {
    QTemporaryDir dir;
    std::string path(const char* name) const { return dir.filePath(name).toStdString(); }
    QStringList entries(const char* sub = ".") const
    {
        return QDir(dir.filePath(sub)).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    }
};

// Channel k of the list, 0 past its end.
Values V(std::initializer_list<std::int32_t> first)
{
    Values v{};
    std::copy(first.begin(), first.end(), v.begin());
    return v;
}

Values Ramp(std::int32_t base, std::int32_t step)
{
    Values v{};
    for (int k = 0; k < RAW_CHANNELS; ++k)
        v[static_cast<std::size_t>(k)] = base + step * k;
    return v;
}

std::string Fields(const Values& v)
{
    std::string s;
    for (std::int32_t x : v)
        s += std::to_string(x) + ",";
    return s;
}

TEST(RawDataWrite, ExactBytes)
{
    TempDir tmp;
    const std::string path = tmp.path("rawdata/rawdata.csv"); // the folder is made on the way
    const std::vector<RawLine> lines = {{true, Ramp(800, 1)}, {false, Ramp(-5, 3)}, {true, V({65535, 0, 7})}};
    std::string error = "stale";
    ASSERT_TRUE(WriteRawDataFile(path, lines, &error)) << error;
    EXPECT_EQ(error, "");

    std::string expected = "Item=0,Checked=1,";
    for (int k = 0; k < 32; ++k)
        expected += std::to_string(800 + k) + ",";
    expected += "\r\nItem=1,Checked=0,";
    for (int k = 0; k < 32; ++k)
        expected += std::to_string(-5 + 3 * k) + ",";
    expected += "\r\nItem=2,Checked=1,65535,0,7,";
    for (int k = 3; k < 32; ++k)
        expected += "0,";
    expected += "\r\n";
    EXPECT_EQ(ReadBytes(path), expected);
    EXPECT_EQ(tmp.entries("rawdata"), QStringList{"rawdata.csv"});

    // Read back, and saved again over the existing file in the existing folder.
    std::vector<RawReading> back;
    ASSERT_TRUE(ReadRawDataFile(path, back));
    ASSERT_EQ(back.size(), lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(back[i].item, std::to_string(i));
        EXPECT_EQ(back[i].checked, lines[i].checked);
        EXPECT_EQ(back[i].values, lines[i].values);
    }
    ASSERT_TRUE(WriteRawDataFile(path, {lines[1]}, nullptr));
    EXPECT_EQ(ReadBytes(path), FormatRawDataLine(0, false, lines[1].values));
    EXPECT_EQ(tmp.entries("rawdata"), QStringList{"rawdata.csv"});
}

TEST(RawDataRead, OddFilesTable)
{
    const Values ramp = Ramp(1, 1);
    const std::string full = "Item=0,Checked=1," + Fields(ramp);
    const std::string longLine = std::string(300, 'x') + "\0,\0=,"s + std::string(100000, '9');
    std::string many;
    for (int i = 0; i < 300; ++i)
        many += FormatRawDataLine(i, i % 2 == 0, Ramp(i, -i));

    struct Expected {
        std::string item;
        bool checked;
        Values values;
    };
    struct Case {
        const char* name;
        std::string text;
        std::vector<Expected> readings;
    };
    const Case cases[] = {
        {"empty file", "", {}},
        {"only line ends", "\r\n\n\r\n", {}},
        {"last line without line end", full, {{"0", true, ramp}}},
        {"LF line ends, trailing empty lines dropped", full + "\n" + full + "\n\n\r\n", {{"0", true, ramp}, {"0", true, ramp}}},
        {"an empty line before a later line is a reading", "\r\nItem=1,Checked=0,5,\r\n",
            {{"", false, {}}, {"1", false, V({5})}}},
        {"short line", "Item=3,Checked=1,10,20,30,\r\n", {{"3", true, V({10, 20, 30})}}},
        {"last field without its comma", "Item=3,Checked=1,10,20\r\n", {{"3", true, V({10, 20})}}},
        {"extra fields ignored", "Item=3,Checked=1," + Fields(ramp) + "77,88,\r\n", {{"3", true, ramp}}},
        {"no Item/Checked fields", "1,2,3,4,5,\r\n", {{"", false, V({3, 4, 5})}}},
        {"fields without '='", "abc,def,6\r\n", {{"", false, V({6})}}},
        {"',' before '='", ",x=1,y=1,4,\r\n", {{"", false, V({0, 4})}}},
        {"checked only for exactly 1", "Item= 7,Checked=01,1,\r\nItem=8,Checked=1 ,2,\r\nItem=,Checked=,3,\r\n",
            {{" 7", false, V({1})}, {"8", false, V({2})}, {"", false, V({3})}}},
        {"strtol-like fields",
            "Item=0,Checked=0,12abc, -7,+8,\t9,- 1,abc,,0x1f,1e3,--2,\r\n",
            {{"0", false, V({12, -7, 8, 9, 0, 0, 0, 0, 1, 0})}}},
        {"overflow pins at the int32 ends",
            "Item=0,Checked=0,2147483647,2147483648,-2147483648,-2147483649,99999999999999999999999,"
            "-00000000000000000000012,\r\n",
            {{"0", false, V({2147483647, 2147483647, -2147483648, -2147483648, 2147483647, -12})}}},
        {"NUL bytes and a long line without line end", "Item=\0,Checked=1,\0 5,3\0" "4,\n"s + longLine,
            {{"\0"s, true, V({0, 3})}, {"", false, V({2147483647})}}},
        {"stray CR inside a line", "Item=1\r,Checked=1\r,5\r,6\r\r\n", {{"1\r", false, V({5, 6})}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<RawReading> got = ParseRawData(c.text);
        ASSERT_EQ(got.size(), c.readings.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(got[i].item, c.readings[i].item);
            EXPECT_EQ(got[i].checked, c.readings[i].checked);
            EXPECT_EQ(got[i].values, c.readings[i].values);
        }
    }

    // 300 readings in file order, beyond the 255 the station keeps.
    const std::vector<RawReading> got = ParseRawData(many);
    ASSERT_EQ(got.size(), 300u);
    for (int i : {0, 1, 254, 255, 299}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[static_cast<std::size_t>(i)].item, std::to_string(i));
        EXPECT_EQ(got[static_cast<std::size_t>(i)].checked, i % 2 == 0);
        EXPECT_EQ(got[static_cast<std::size_t>(i)].values, Ramp(i, -i));
    }
}

TEST(RawDataRead, FileAndMissingFile)
{
    TempDir tmp;
    const std::string path = tmp.path("rawdata.csv");
    WriteBytes(path, "Item=4,Checked=1,1,2,\r\n\0garbage"s);
    std::vector<RawReading> readings(3);
    ASSERT_TRUE(ReadRawDataFile(path, readings));
    ASSERT_EQ(readings.size(), 2u);
    EXPECT_EQ(readings[0].values, V({1, 2}));
    EXPECT_EQ(readings[1].item, "");

    EXPECT_FALSE(ReadRawDataFile(tmp.path("missing.csv"), readings));
    EXPECT_TRUE(readings.empty());
    readings.resize(1);
    EXPECT_FALSE(ReadRawDataFile(tmp.dir.path().toStdString(), readings)); // a folder
    EXPECT_TRUE(readings.empty());
}

TEST(RawDataSave, FolderThatIsAFileRefused)
{
    TempDir tmp;
    const std::string notFolder = tmp.path("rawdata");
    WriteBytes(notFolder, "plain file");
    std::string error;
    EXPECT_FALSE(WriteRawDataFile(notFolder + "/rawdata.csv", {{true, Ramp(1, 1)}}, &error));
    EXPECT_EQ(error, std::strerror(ENOTDIR));
    EXPECT_FALSE(WriteRawDataFile(notFolder + "/deeper/rawdata.csv", {{true, Ramp(1, 1)}}, &error));
    EXPECT_EQ(error, std::strerror(ENOTDIR));
    EXPECT_EQ(ReadBytes(notFolder), "plain file");
    EXPECT_EQ(tmp.entries(), QStringList{"rawdata"});
}

// A write that stops half way (file size limit; works as root too): the old file stays whole, its
// permissions are kept on success, and no temporary file is left.
TEST(RawDataSave, FailedWriteKeepsTheOldFile)
{
    TempDir tmp;
    const std::string path = tmp.path("rawdata.csv");
    ASSERT_TRUE(WriteRawDataFile(path, {{true, Ramp(1, 1)}}, nullptr));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(WriteRawDataFile(path, {{false, Ramp(2, 1)}}, nullptr));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    const std::string oldBytes = ReadBytes(path);

    const std::vector<RawLine> big(40, RawLine{true, Ramp(100000, 1)});
    std::string error;
    bool ok = true;
    {
        const FileSizeLimit limit(1024);
        ASSERT_TRUE(limit.ok());
        ok = WriteRawDataFile(path, big, &error);
    }

    EXPECT_FALSE(ok);
    EXPECT_EQ(error, std::strerror(EFBIG));
    EXPECT_EQ(ReadBytes(path), oldBytes);
    EXPECT_EQ(tmp.entries(), QStringList{"rawdata.csv"});
}

TEST(RawDataSave, ReadOnlyFolderKeepsTheOldFile)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    TempDir tmp;
    const std::string folder = tmp.path("rawdata");
    const std::string path = folder + "/rawdata.csv";
    ASSERT_TRUE(WriteRawDataFile(path, {{true, Ramp(1, 1)}}, nullptr));
    const std::string oldBytes = ReadBytes(path);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    std::string error;
    const bool ok = WriteRawDataFile(path, {{false, Ramp(9, 9)}}, &error);
    ::chmod(folder.c_str(), 0755);

    EXPECT_FALSE(ok);
    EXPECT_EQ(error, std::strerror(EACCES));
    EXPECT_EQ(ReadBytes(path), oldBytes);
    EXPECT_EQ(tmp.entries("rawdata"), QStringList{"rawdata.csv"});
}

} // namespace
