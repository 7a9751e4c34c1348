// The INI reader finds what Qt's QSettings finds in the same text (the cases
// below were checked against QSettings 6.4), and survives any bytes.

#include "platform/IniFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

using namespace fota;

namespace {

namespace fs = std::filesystem;

// What a key holds: "S:text", "L:a,b" (a list), "N" (not text), or "-" (nothing).
std::string At(const IniFile& ini, const std::string& key) {
    const IniFile::Value* v = ini.find(key);
    if (!v) {
        return "-";
    }
    if (!v->isText) {
        return "N";
    }
    return (v->isList ? "L:" : "S:") + v->text;
}

struct Case {
    const char* name;
    std::string text;
    const char* key;
    std::string value;
};

TEST(IniFile, ReadsWhatQSettingsReads) {
    const Case cases[] = {
        // As QSettings writes it.
        {"written", "[PelorDeviceMovaAnt]\nMovaAntSettings_TrainerDeviceNumber=1234\n",
         "PelorDeviceMovaAnt/MovaAntSettings_TrainerDeviceNumber", "S:1234"},
        {"quoted_list_text", "[a]\nk=\"4,321\"\n", "a/k", "S:4,321"},
        {"escaped_quote", "[a]\nk=\"x \\\"q\\\\ \\t\"\n", "a/k", "S:x \"q\\ \t"},
        {"sub_key", "[PelorDeviceAntP]\nSub\\Key=5\n", "PelorDeviceAntP/Sub/Key", "S:5"},
        {"percent_section", "[Odd%20Group]\nodd%20key%25=1\n", "Odd Group/odd key%", "S:1"},
        {"general_is_top", "[General]\ntop=t\n", "top", "S:t"},
        {"percent_general", "[%General]\na=g\n", "General/a", "S:g"},
        {"before_any_section", "k=1\n", "k", "S:1"},
        // As a person might write it.
        {"spaces", "[a]\n  k  =  0012  \n", "a/k", "S:0012"},
        {"crlf_and_bom", "\xEF\xBB\xBF[a]\r\nk=12\r\n", "a/k", "S:12"},
        {"comment_lines", "; c\n[a]\n; k=1\nk=2\n", "a/k", "S:2"},
        {"trailing_comment", "[a]\nk = 1 ; one\n", "a/k", "S:1"},
        {"hash_is_no_comment", "[a]\n#k=1\n", "a/#k", "S:1"},
        {"last_wins", "[a]\nk=1\nk=2\n", "a/k", "S:2"},
        {"section_twice", "[a]\nk=1\n[b]\nj=0\n[a]\nk=3\n", "a/k", "S:3"},
        {"case_sensitive_section", "[A]\nk=1\n", "a/k", "-"},
        {"case_sensitive_key", "[a]\nK=1\n", "a/k", "-"},
        {"no_equals_ignored", "[a]\nnoequals\nk=7\n", "a/k", "S:7"},
        {"empty_value", "[a]\nk=\n", "a/k", "S:"},
        {"quoted_spaces_kept", "[a]\nk=  \"  12  \"  \n", "a/k", "S:  12  "},
        {"quote_glue", "[a]\nk=\"12\"34\n", "a/k", "S:1234"},
        {"unterminated_quote_runs_on", "[a]\nk=\"1\nj=2\n", "a/k", "S:1\nj=2\n"},
        {"continuation", "[a]\nk=12 \\\n 34\n", "a/k", "S:12  34"},
        {"hex_and_octal", "[a]\nk=\\x31\\062\n", "a/k", "S:12"},
        {"unknown_escape_dropped", "[a]\nk=\\u0031\n", "a/k", "S:0031"},
        {"bad_hex_escape", "[a]\nk=\\xZZ\n", "a/k", "S:ZZ"},
        {"percent_hex_with_space", "[a]\n% a=1\n", "a/\n", "S:1"},
        // Values of other types.
        {"list", "[a]\nk=1,2\n", "a/k", "L:1,2"},
        {"list_trailing_comma", "[a]\nk=1,\n", "a/k", "L:1,"},
        {"invalid", "[a]\nk=@Invalid()\n", "a/k", "-"},
        {"byte_array", "[a]\nk=@ByteArray(12)\n", "a/k", "N"},
        {"variant", "[a]\nk=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)\n", "a/k", "N"},
        {"size", "[a]\nk=@Size(1 2)\n", "a/k", "N"},
        {"size_wrong_arity_is_text", "[a]\nk=@Size(1)\n", "a/k", "S:@Size(1)"},
        {"at_at", "[a]\nk=@@x\n", "a/k", "S:@x"},
        {"list_of_variants", "[a]\nk=@Invalid(),1\n", "a/k", "N"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const IniFile ini = IniFile::parse(c.text);
        EXPECT_EQ(At(ini, c.key), c.value);
        EXPECT_TRUE(ini.wellFormed());
    }
}

TEST(IniFile, ASectionHeaderWithoutItsBracketMakesTheFileMalformed) {
    const IniFile ini = IniFile::parse("[a]\nk=1\n[unterminated\nj=2\n");
    EXPECT_FALSE(ini.wellFormed());
    EXPECT_EQ(At(ini, "a/k"), "S:1");  // read as far as possible, as QSettings does
}

TEST(IniFile, AnyBytesParseWithoutHarm) {
    std::mt19937 rng(7);
    const std::string alphabet = "[]=;\"\\,% \t\r\n@()xXuU01a9#/\xff\xc3";
    for (int i = 0; i < 3000; ++i) {
        std::string text;
        const int n = static_cast<int>(rng() % 200);
        for (int k = 0; k < n; ++k) {
            text.push_back(rng() % 4 == 0 ? static_cast<char>(rng())
                                          : alphabet[rng() % alphabet.size()]);
        }
        const IniFile ini = IniFile::parse(text);
        for (const auto& [key, value] : ini.values()) {
            EXPECT_EQ(ini.find(key), &value);
        }
    }
}

TEST(IniFile, LoadTreatsAMissingFileAsEmptyAndRefusesOddOnes) {
    const fs::path dir =
        fs::path(::testing::TempDir()) / ("fota_ini_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::string error;

    const auto missing = IniFile::load((dir / "none.conf").string(), &error);
    ASSERT_TRUE(missing);
    EXPECT_TRUE(missing->values().empty());

    std::ofstream(dir / "ok.conf") << "[a]\nk=1\n";
    const auto ok = IniFile::load((dir / "ok.conf").string(), &error);
    ASSERT_TRUE(ok);
    EXPECT_EQ(At(*ok, "a/k"), "S:1");

    EXPECT_FALSE(IniFile::load(dir.string(), &error));  // a folder
    EXPECT_EQ(error, "not a regular file");

    const fs::path fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(IniFile::load(fifo.string(), &error));  // no writer: must not hang

    {
        std::ofstream big(dir / "big.conf", std::ios::binary);
        big << "[a]\n" << std::string(IniFile::kMaxFileSize, ';') << "\n";
    }
    EXPECT_FALSE(IniFile::load((dir / "big.conf").string(), &error));
    EXPECT_NE(error.find("larger than"), std::string::npos);

    if (::geteuid() != 0) {  // root reads anything
        std::ofstream(dir / "locked.conf") << "[a]\nk=1\n";
        fs::permissions(dir / "locked.conf", fs::perms::none);
        EXPECT_FALSE(IniFile::load((dir / "locked.conf").string(), &error));
    }
    fs::remove_all(dir);
}

}  // namespace
