// Where the update check's settings come from: the environment over the
// configuration file, and a file that is not what it should be ignored whole.
#include "maintenance/UpdateCheckSettings.h"
#include "platform/Log.h"
#include "tests/support/TempRuntimeDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

namespace mq::maintenance {
namespace {

/// Sets an environment variable for one test and puts the old value back after.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, std::optional<std::string> value)
        : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnvironment()
    {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(UpdateCheckSettingsTest, TheEnvironmentWinsOverTheConfigurationFile)
{
    test::TempRuntimeDir dir;
    ::mkdir(dir.file("marquee").c_str(), 0700);
    const std::string fileContents = R"({"updateEndpoint": "https://file.example", "caFile": "/file/ca.pem"})";
    struct Row {
        const char* what;
        std::optional<std::string> file;
        std::optional<std::string> endpointVariable;
        std::optional<std::string> caVariable;
        std::optional<std::string> endpoint;
        std::optional<std::string> caFile;
    };
    const Row rows[] = {
        { "nothing set", std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt },
        { "the file alone", fileContents, std::nullopt, std::nullopt, "https://file.example", "/file/ca.pem" },
        { "the variables win", fileContents, "https://env.example", "/env/ca.pem", "https://env.example", "/env/ca.pem" },
        { "one variable, the other key from the file", fileContents, "https://env.example", std::nullopt, "https://env.example",
            "/file/ca.pem" },
        { "an empty variable is unset", fileContents, "", "", "https://file.example", "/file/ca.pem" },
        { "a file that is not JSON is ignored", "updateEndpoint=https://x", std::nullopt, std::nullopt, std::nullopt, std::nullopt },
        { "a key that is not a string spoils the file", R"({"updateEndpoint": "https://file.example", "caFile": 3})", std::nullopt,
            std::nullopt, std::nullopt, std::nullopt },
    };
    ScopedEnvironment configHome("XDG_CONFIG_HOME", dir.path());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::remove(dir.file("marquee/helper.json").c_str());
        if (row.file)
            std::ofstream(dir.file("marquee/helper.json")) << *row.file;
        ScopedEnvironment endpoint("MARQUEE_UPDATE_ENDPOINT", row.endpointVariable);
        ScopedEnvironment caFile("MARQUEE_CA_FILE", row.caVariable);
        auto settings = loadUpdateCheckSettings();
        EXPECT_EQ(settings.endpoint, row.endpoint);
        EXPECT_EQ(settings.caFile, row.caFile);
        EXPECT_EQ(settings.requestTimeout, std::chrono::seconds(10));
    }
}

TEST(UpdateCheckSettingsTest, TheConfigurationFileLivesUnderTheXDGConfigHomeElseUnderHome)
{
    {
        ScopedEnvironment configHome("XDG_CONFIG_HOME", "/cfg");
        EXPECT_EQ(configurationFilePath(), "/cfg/marquee/helper.json");
    }
    ScopedEnvironment configHome("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnvironment home("HOME", "/home/ann");
    EXPECT_EQ(configurationFilePath(), "/home/ann/.config/marquee/helper.json");
}

} // namespace
} // namespace mq::maintenance
