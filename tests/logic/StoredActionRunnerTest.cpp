// The stored action runner: the allow-list check (whole numbers only), the
// substitution, the interpreter process and its exit status, and the wiping of
// the key and every plaintext buffer on every path.
#include "logic/StoredActionRunner.h"

#include "logic/StoredActionInterpreter.h"
#include "logic/StoredCipher.h"
#include "platform/ExecutablePath.h"
#include "platform/Log.h"
#include "tests/support/TempRuntimeDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace mq::logic::stored {
namespace {

using namespace std::chrono_literals;

// The codes the helper's own operations run: exactly these are admitted.
constexpr std::uint32_t kListedCodes[] = { 5, 21, 476, 2564, 480, 1192, 362, 347, 483, 888, 1795, 571, 584, 358, 1194, 1320, 1306, 1346,
    1197, 681 };

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

/// A template and an allow-list enciphered under a fixed key for one test.
struct TestStore {
    std::array<KeyPiece, kKeyPieceCount> pieces {};
    IV templateIV {};
    IV allowListIV {};
    std::vector<std::uint8_t> templateCipher;
    std::vector<std::uint8_t> allowListCipher;

    TestStore(const std::string& scriptTemplate, const std::string& allowList)
    {
        for (std::size_t p = 0; p < pieces.size(); ++p)
            for (std::size_t i = 0; i < kKeyBytes; ++i)
                pieces[p][i] = static_cast<std::uint8_t>(p * 67 + i * 13 + 1);
        for (std::size_t i = 0; i < kIVBytes; ++i) {
            templateIV[i] = static_cast<std::uint8_t>(i * 7);
            allowListIV[i] = static_cast<std::uint8_t>(200 - i);
        }
        Key key;
        combineKeyPieces(pieces, key);
        templateCipher = encipher(std::span(reinterpret_cast<const std::uint8_t*>(scriptTemplate.data()), scriptTemplate.size()), key, templateIV);
        allowListCipher = encipher(std::span(reinterpret_cast<const std::uint8_t*>(allowList.data()), allowList.size()), key, allowListIV);
    }

    StoredActionData data() const
    {
        return { pieces, StoredText { templateCipher, templateIV }, StoredText { allowListCipher, allowListIV } };
    }
};

const std::string kTemplate = "property storedAction : __ID__\n";
const std::string kAllowList = "stop: 584\nmarker:1192\n";

/// Interpreters written as shell scripts into a private directory; each run
/// leaves its argument list and the script it read there.
class StoredActionRunnerTest : public ::testing::Test {
public:
    std::string interpreter(const std::string& name, const std::string& body, bool executable = true)
    {
        std::string path = dir.file(name);
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        ::chmod(path.c_str(), executable ? 0700 : 0600);
        return path;
    }
    /// Records its arguments and its standard input, then exits with `status`.
    std::string recorder(int status = 0)
    {
        return interpreter("record" + std::to_string(status),
            "printf '%s|%s\\n' \"$#\" \"$1\" > " + dir.path() + "/args.$$\ncat > " + dir.path() + "/script.$$\nexit " + std::to_string(status));
    }

    /// The contents of every file whose name starts with `prefix`.
    std::vector<std::string> files(const std::string& prefix) const
    {
        std::vector<std::string> out;
        if (DIR* d = ::opendir(dir.path().c_str())) {
            while (dirent* entry = ::readdir(d))
                if (std::string(entry->d_name).rfind(prefix, 0) == 0)
                    out.push_back(readFile(dir.file(entry->d_name)));
            ::closedir(d);
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    std::vector<std::string> scripts() const { return files("script."); }
    std::size_t childrenStarted() const { return files("args.").size(); }

    bool run(std::uint32_t code, const TestStore& store, const std::string& program, std::chrono::milliseconds timeout = 10s)
    {
        StoredActionData data = store.data();
        RunOptions options;
        options.data = &data;
        options.interpreter = program;
        options.timeout = timeout;
        return runStoredAction(code, options);
    }

    test::TempRuntimeDir dir;
};

TEST(AllowList, MatchesWholeNumbersOnlyInBothForms)
{
    struct Row {
        const char* list;
        std::uint32_t code;
        bool admitted;
    };
    const Row rows[] = {
        { "a: 584\n", 584, true },
        { "a: 584\n", 5, false },
        { "a: 584\n", 58, false },
        { "a: 584\n", 84, false },
        { "a: 584", 584, true }, // the text ends right after the code
        { "a:1192\n", 1192, true }, // the form without a blank
        { "a:1192\n", 1, false },
        { "a:1192\n", 11, false },
        { "a:1192\n", 119, false },
        { "a:1192\n", 192, false },
        { "a: 584\nb: 5\n", 5, true }, // a later whole match after a prefix match
        { "a: 584\nb:5\n", 5, true }, // ...also in the other form
        { "a: 584, b: 5", 5, true },
        { "a: 5x", 5, true }, // any non-digit ends the number
        { "a: 05\n", 5, false },
        { "a 5\n", 5, false }, // no colon
        { "a:  5\n", 5, false }, // two blanks
        { "a: 4294967295\n", 4294967295u, true },
        { "a: 4294967295\n", 429496729, false },
        { "a: 0\n", 0, true },
        { "", 0, false },
        { ":", 0, false },
    };
    for (const Row& row : rows)
        EXPECT_EQ(allowListAdmits(row.list, row.code), row.admitted) << "list \"" << row.list << "\" code " << row.code;
}

TEST(AllowList, TheProjectListAdmitsExactlyTheHelpersCodes)
{
    std::string list = readFile(MQ_STORED_ACTIONS_DIR "/allowlist.txt");
    ASSERT_FALSE(list.empty());
    std::vector<std::uint32_t> admitted;
    for (std::uint32_t code = 0; code <= 100'000; ++code)
        if (allowListAdmits(list, code))
            admitted.push_back(code);
    for (std::uint32_t code : { 1'000'000u, 4294967295u })
        EXPECT_FALSE(allowListAdmits(list, code));
    std::vector<std::uint32_t> expected(std::begin(kListedCodes), std::end(kListedCodes));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(admitted, expected);
}

TEST_F(StoredActionRunnerTest, RunsListedCodesAndRefusesEveryOtherWithoutAChild)
{
    TestStore store(kTemplate, kAllowList);
    std::string program = recorder();
    struct Row {
        std::uint32_t code;
        bool runs;
    };
    const Row rows[] = { { 584, true }, { 1192, true }, { 5, false }, { 58, false }, { 1, false }, { 11, false }, { 119, false },
        { 84, false }, { 11920, false }, { 0, false } };
    std::size_t expectedChildren = 0;
    for (const Row& row : rows) {
        EXPECT_EQ(run(row.code, store, program), row.runs) << row.code;
        expectedChildren += row.runs;
        EXPECT_EQ(childrenStarted(), expectedChildren) << "after code " << row.code;
    }
    EXPECT_EQ(scripts(), (std::vector<std::string> { "property storedAction : 1192\n", "property storedAction : 584\n" }));
}

TEST_F(StoredActionRunnerTest, StartsTheInterpreterWithTheSingleArgumentDash)
{
    TestStore store(kTemplate, kAllowList);
    ASSERT_TRUE(run(584, store, recorder()));
    EXPECT_EQ(files("args."), std::vector<std::string> { "1|-\n" });
}

TEST_F(StoredActionRunnerTest, SubstitutesEveryPlaceholder)
{
    struct Row {
        std::string scriptTemplate;
        std::uint32_t code;
        std::string script; // empty: nothing runs
    };
    const std::string list = "x: 7\ny: 4294967295\nz: 123456\n";
    const Row rows[] = {
        { "__ID__", 7, "7" },
        { "a __ID__ b __ID__ c __ID__", 7, "a 7 b 7 c 7" },
        { "__ID____ID__", 123456, "123456123456" },
        { "id=__ID__;again=__ID__\n", 4294967295u, "id=4294967295;again=4294967295\n" },
        { "___ID__", 7, "_7" },
        { "__ID_", 7, "" }, // shorter than the placeholder
        { "no placeholder here", 7, "" },
        { "__id__", 7, "" },
    };
    for (const Row& row : rows) {
        TestStore store(row.scriptTemplate, list);
        test::TempRuntimeDir fresh;
        std::string program = fresh.file("record");
        std::ofstream(program) << "#!/bin/sh\ncat > " << fresh.path() << "/script\n";
        ::chmod(program.c_str(), 0700);
        StoredActionData data = store.data();
        RunOptions options;
        options.data = &data;
        options.interpreter = program;
        EXPECT_EQ(runStoredAction(row.code, options), !row.script.empty()) << row.scriptTemplate;
        EXPECT_EQ(readFile(fresh.file("script")), row.script) << row.scriptTemplate;
    }
}

TEST_F(StoredActionRunnerTest, AnswersFromTheExitStatus)
{
    TestStore store(kTemplate, kAllowList);
    struct Row {
        const char* name;
        std::string body;
        bool executable;
        bool answer;
    };
    const Row rows[] = {
        { "exit0", "cat > /dev/null\nexit 0", true, true },
        { "exit1", "cat > /dev/null\nexit 1", true, false },
        { "exit255", "cat > /dev/null\nexit 255", true, false },
        { "killed", "cat > /dev/null\nkill -9 $$", true, false },
        { "not-executable", "exit 0", false, false },
    };
    for (const Row& row : rows)
        EXPECT_EQ(run(584, store, interpreter(row.name, row.body, row.executable)), row.answer) << row.name;
    EXPECT_FALSE(run(584, store, dir.file("no-such-interpreter")));
    EXPECT_FALSE(run(584, store, "/"));
}

TEST_F(StoredActionRunnerTest, AChattyInterpreterCannotBlockTheRun)
{
    // Both outputs get far more than a pipe holds before the script is read.
    TestStore store(kTemplate, kAllowList);
    std::string program = interpreter("chatty",
        "head -c 3000000 /dev/zero\nhead -c 3000000 /dev/zero >&2\ncat > " + dir.path() + "/script.$$\nhead -c 300000 /dev/zero >&2\nexit 0");
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(run(584, store, program, 20s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_EQ(scripts(), std::vector<std::string> { "property storedAction : 584\n" });
}

TEST_F(StoredActionRunnerTest, AnInterpreterThatDoesNotReadItsScriptAnswersFalseWithoutSigpipe)
{
    // A script far longer than a pipe holds, to an interpreter that exits at once:
    // the write fails with EPIPE, which must not end this process.
    TestStore store(std::string(1 << 20, '-') + "\n__ID__\n", kAllowList);
    for (int status : { 0, 1 })
        EXPECT_FALSE(run(584, store, interpreter("early" + std::to_string(status), "exit " + std::to_string(status)))) << status;
}

TEST_F(StoredActionRunnerTest, AHangingInterpreterIsEndedAtTheTimeOut)
{
    TestStore store(kTemplate, kAllowList);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(run(584, store, interpreter("hang", "cat > /dev/null\nexec sleep 30"), 300ms));
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 5s);
}

TEST_F(StoredActionRunnerTest, ConcurrentRunsEachGetTheirOwnScript)
{
    const std::string list = "a: 1\nb: 2\nc: 3\nd: 4\ne: 5\nf: 6\n";
    TestStore store(kTemplate, list);
    std::string program = recorder();
    std::vector<std::thread> threads;
    std::atomic<int> successes { 0 };
    for (std::uint32_t code = 1; code <= 6; ++code)
        threads.emplace_back([&, code] { successes += run(code, store, program); });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(successes.load(), 6);
    std::vector<std::string> expected;
    for (std::uint32_t code = 1; code <= 6; ++code)
        expected.push_back("property storedAction : " + std::to_string(code) + "\n");
    EXPECT_EQ(scripts(), expected);
}

TEST_F(StoredActionRunnerTest, TheBuiltInActionsRunTheTemplateForEveryListedCode)
{
    std::string scriptTemplate = readFile(MQ_STORED_ACTIONS_DIR "/template.txt");
    std::string program = recorder();
    RunOptions options;
    options.interpreter = program;
    for (std::uint32_t code : kListedCodes)
        EXPECT_TRUE(runStoredAction(code, options)) << code;
    for (std::uint32_t code : { 1u, 11u, 119u, 58u, 48u, 0u, 22u, 6810u })
        EXPECT_FALSE(runStoredAction(code, options)) << code;
    std::vector<std::string> expected;
    for (std::uint32_t code : kListedCodes)
        expected.push_back(replaceAll(scriptTemplate, "__ID__", std::to_string(code)));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(scripts(), expected);
}

/// Sets or clears MARQUEE_STORED_ACTION_INTERPRETER for one test, then puts it back.
class InterpreterVariable {
public:
    explicit InterpreterVariable(const char* value)
    {
        if (const char* previous = std::getenv(kStoredActionInterpreterVariable))
            m_previous = previous;
        if (value)
            ::setenv(kStoredActionInterpreterVariable, value, 1);
        else
            ::unsetenv(kStoredActionInterpreterVariable);
    }
    ~InterpreterVariable()
    {
        if (m_previous)
            ::setenv(kStoredActionInterpreterVariable, m_previous->c_str(), 1);
        else
            ::unsetenv(kStoredActionInterpreterVariable);
    }

private:
    std::optional<std::string> m_previous;
};

// Nothing of the build tree is baked in: without a configured path the
// interpreter lies where the package puts it relative to the running program.
TEST(StoredActionInterpreter, IsFoundBesideTheProgramOrWhereConfigured)
{
    {
        InterpreterVariable unset(nullptr);
        std::string path = defaultInterpreter();
#if defined(__APPLE__)
        EXPECT_EQ(path, "/usr/bin/osascript");
#else
        EXPECT_EQ(path, (std::filesystem::path(platform::executableDirectory()) / "../libexec/marquee-helper/marquee-osascript").lexically_normal());
#endif
    }
    {
        InterpreterVariable configured("/opt/elsewhere/osascript");
        EXPECT_EQ(defaultInterpreter(), "/opt/elsewhere/osascript");
    }
    InterpreterVariable empty("");
    EXPECT_EQ(defaultInterpreter(), storedActionInterpreter());
    EXPECT_NE(defaultInterpreter(), "");
}

// A missing interpreter is an error line on every run it refuses, and nothing starts.
TEST_F(StoredActionRunnerTest, SaysOnEveryRunThatTheInterpreterIsMissing)
{
    TestStore good(kTemplate, kAllowList);
    test::TempRuntimeDir dir;
    std::string missing = dir.path() + "/no-such-interpreter";
    std::string notExecutable = dir.path() + "/not-executable";
    std::ofstream(notExecutable) << "#!/bin/sh\n";
    StoredActionData data = good.data();
    log::LogCapture capture;
    for (const std::string& path : { missing, missing, notExecutable }) {
        RunOptions options;
        options.data = &data;
        options.interpreter = path;
        EXPECT_FALSE(runStoredAction(584, options)) << path;
    }
    EXPECT_EQ(capture.count("Stored action interpreter " + missing + " cannot be run (No such file or directory); stored action 584 refused", "helper.service"), 2u);
    EXPECT_EQ(capture.count("Stored action interpreter " + notExecutable + " cannot be run (Permission denied)", "helper.service"), 1u);
}

// Every secret buffer is zero when it is released, whichever way the run ends.
TEST_F(StoredActionRunnerTest, WipesTheKeyAndEveryPlaintextOnEveryPath)
{
    TestStore good(kTemplate, kAllowList);
    TestStore noPlaceholder("no placeholder", kAllowList);
    TestStore brokenTemplate(kTemplate, kAllowList);
    brokenTemplate.templateCipher.pop_back(); // not a whole number of blocks
    TestStore brokenAllowList(kTemplate, kAllowList);
    brokenAllowList.allowListCipher.resize(brokenAllowList.allowListCipher.size() + 5);
    TestStore wrongPieces(kTemplate, kAllowList);
    wrongPieces.pieces[2][0] ^= 0x80;

    struct Row {
        const char* path;
        const TestStore* store;
        std::uint32_t code;
        std::string program;
        bool answer;
        std::vector<std::string> allocated; // the buffers this path filled (a failed decipherment's too)
    };
    const Row rows[] = {
        { "success", &good, 584, recorder(0), true, { "template", "allowList", "script" } },
        { "non-zero exit", &good, 584, recorder(2), false, { "template", "allowList", "script" } },
        { "no interpreter", &good, 584, dir.file("missing"), false, { "template", "allowList", "script" } },
        { "refused code", &good, 58, recorder(0), false, { "template", "allowList" } },
        { "no placeholder", &noPlaceholder, 584, recorder(0), false, { "template", "allowList" } },
        { "template fails", &brokenTemplate, 584, recorder(0), false, { "template" } },
        { "allow-list fails", &brokenAllowList, 584, recorder(0), false, { "template", "allowList" } },
        { "wrong key", &wrongPieces, 584, recorder(0), false, { "template" } },
    };
    for (const Row& row : rows) {
        int calls = 0;
        std::vector<std::string> seen;
        StoredActionData data = row.store->data();
        RunOptions options;
        options.data = &data;
        options.interpreter = row.program;
        options.beforeRelease = [&](std::span<const ReleasedBuffer> buffers) {
            ++calls;
            for (const ReleasedBuffer& buffer : buffers) {
                if (buffer.name == "key")
                    EXPECT_EQ(buffer.size, kKeyBytes) << row.path;
                else if (buffer.size > 0)
                    seen.emplace_back(buffer.name);
                bool zero = std::all_of(buffer.data, buffer.data + buffer.size, [](std::uint8_t b) { return b == 0; });
                EXPECT_TRUE(zero) << row.path << ": " << buffer.name << " is not wiped";
            }
        };
        EXPECT_EQ(runStoredAction(row.code, options), row.answer) << row.path;
        EXPECT_EQ(calls, 1) << row.path;
        EXPECT_EQ(seen, row.allocated) << row.path;
    }
}

} // namespace
} // namespace mq::logic::stored
