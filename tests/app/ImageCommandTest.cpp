#include "app/ImageCommand.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/Cli.h"

using namespace fota;

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

Outcome runInProcess(std::vector<std::string> args) {
    std::ostringstream out;
    std::ostringstream err;
    Outcome o;
    o.status = cli::Run(args, {out, err});
    o.out = out.str();
    o.err = err.str();
    return o;
}

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A file name of the running test's own, so that tests running in parallel
// never share a file.
fs::path testFile(const std::string& suffix) {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name() + "." + suffix;
    std::replace(name.begin(), name.end(), '/', '_');
    return fs::path(testing::TempDir()) / ("fota_app_" + std::to_string(::getpid()) + "_" + name);
}

// Runs the built fota-cli; a crash shows as a status other than 0 to 2.
Outcome runProgram(const std::vector<std::string>& args) {
    const fs::path out = testFile("out");
    const fs::path err = testFile("err");
    std::string command = "'" FOTA_CLI_PATH "'";
    for (const std::string& a : args) {
        command += " '" + a + "'";
    }
    command += " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int raw = std::system(command.c_str());
    Outcome o;
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    o.out = readFile(out);
    o.err = readFile(err);
    fs::remove(out);
    fs::remove(err);
    return o;
}

fs::path writeTemp(const std::string& name, const std::string& content) {
    const fs::path file = testFile(name);
    std::ofstream(file, std::ios::binary) << content;
    return file;
}

// ------------------------------------------------ files that do not load

struct BadFile {
    const char* what;
    std::string content;
    std::string error;  // what the error line says after "fota-cli: FILE"
};

void PrintTo(const BadFile& c, std::ostream* os) {
    *os << c.what;
}

class ImageDumpOfABadFile : public testing::TestWithParam<BadFile> {
protected:
    void TearDown() override { fs::remove(testFile("bad.hex")); }
    void check(const Outcome& o) {
        const fs::path file = testFile("bad.hex");
        EXPECT_EQ(o.status, cli::kExitFailure);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.err, "fota-cli: " + file.string() + GetParam().error + "\n");
    }
    std::vector<std::string> args() {
        return {"image", "dump", writeTemp("bad.hex", GetParam().content).string()};
    }
};

TEST_P(ImageDumpOfABadFile, FailsWithTheLineAndTheConversionError) {
    check(runInProcess(args()));
}

TEST_P(ImageDumpOfABadFile, FailsTheSameWayInTheProgram) {
    check(runProgram(args()));
}

const std::string kGood = ":020000040010EA\r\n:04100000DEADBEEFB4\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, ImageDumpOfABadFile,
    testing::Values(
        BadFile{"truncated line", kGood + ":10100400AABB\r\n",
                ":3: '$' is not a valid integer value"},
        BadFile{"odd digit count", kGood + ":04100400AABBCCD\r\n",
                ":3: '$D' is not a valid integer value"},
        BadFile{"non-hex digit", kGood + ":04100400AABBCCGG00\r\n",
                ":3: '$GG' is not a valid integer value"},
        BadFile{"non-hex address", ":0410Q000AABBCCDD00\r\n",
                ":1: '$10Q0' is not a valid integer value"},
        BadFile{"huge count", kGood + ":FF100400\r\n", ":3: '$' is not a valid integer value"},
        BadFile{"line cut in the header", kGood + ":0410\r\n",
                ":3: '$10' is not a valid integer value"},
        BadFile{"empty line", kGood + "\r\n" + kGood, ":3: '$' is not a valid integer value"},
        BadFile{"binary data",
                std::string("\x7f"
                            "ELF\x02\x01\x00\x00\xff\xfe\n",
                            11),
                ":1: '$EL' is not a valid integer value"},
        BadFile{"binary data in a field",
                std::string(":\x01\xff"
                            "00\n",
                            6),
                ":1: '$\\x01\\xFF' is not a valid integer value"},
        BadFile{"empty file", "", ": no data records, the image holds no block"},
        BadFile{"no data records", ":020000040010EA\r\n:00000001FF\r\n",
                ": no data records, the image holds no block"}));

// ------------------------------------------------------ other commands

TEST(ImageCommand, DumpsAHexFileBlockByBlock) {
    const fs::path file = writeTemp("good.hex", kGood + ":00000001FF\r\n");
    const Outcome o = runInProcess({"image", "dump", file.string()});
    EXPECT_EQ(o.status, cli::kExitOk);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.out,
              "Block (00) Address 1000   Bytes: 4 \nDE AD BE EF \n" + std::string(53, '-') + "\n");
    fs::remove(file);
}

TEST(ImageCommand, DumpsAStoredImage) {
    const Outcome o = runProgram({"image", "dump", "BOOTLOADER64"});
    EXPECT_EQ(o.status, cli::kExitOk);
    EXPECT_EQ(o.out.substr(0, o.out.find('\n')), "Block (00) Address 1000   Bytes: 512 ");
    EXPECT_EQ(std::count(o.out.begin(), o.out.end(), '\n'), 25 * 3);
}

TEST(ImageCommand, ListsEveryStoredImage) {
    const Outcome o = runProgram({"image", "list"});
    EXPECT_EQ(o.status, cli::kExitOk);
    EXPECT_EQ(std::count(o.out.begin(), o.out.end(), '\n'), 2 + 29);
    EXPECT_NE(o.out.find("\nBOOTLOADER64        12336      25"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("\nFW_MUSEK_256        46240      91"), std::string::npos) << o.out;
}

TEST(ImageCommand, FailsClearlyOnUnknownNamesAndWrongCommandLines) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* error;  // the start of the error output
    };
    const Case cases[] = {
        {{"image", "dump", "FW_NOPE_64"},
         cli::kExitFailure,
         "fota-cli: FW_NOPE_64: no such image name or HEX file"},
        {{"image", "dump", "bootloader64"},
         cli::kExitFailure,
         "fota-cli: bootloader64: no such image name or HEX file"},
        {{"image", "dump", "/"}, cli::kExitFailure, "fota-cli: /: no such image name or HEX file"},
        {{"image", "dump"}, cli::kExitUsage, "usage: fota-cli image"},
        {{"image", "list", "extra"}, cli::kExitUsage, "usage: fota-cli image"},
        {{"image", "frob"}, cli::kExitUsage, "usage: fota-cli image"},
        {{"image"}, cli::kExitUsage, "usage: fota-cli image"},
        {{"frob"}, cli::kExitUsage, "fota-cli: unknown command 'frob'"},
        // Without a command fota-cli upgrades: here it stops at the agreement,
        // with no terminal to ask on, before touching any stick.
        {{}, cli::kExitNoTerminal, "fota-cli: the agreement must be accepted"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const Outcome o = runInProcess(c.args);
        EXPECT_EQ(o.status, c.status);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.err.rfind(c.error, 0), 0u) << o.err;
    }
}

}  // namespace
