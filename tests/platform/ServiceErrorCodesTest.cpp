// docs/errors.md is the table of error codes written out: the page must match
// MQ_SERVICE_ERROR_CODES row for row. When it does not, the test prints the page
// as it should read; with MQ_WRITE_ERRORS_DOC=1 in the environment it writes it.

#include "marquee/ServiceError.h"
#include "marquee/ServiceErrorCodes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>

namespace mq {
namespace {

std::string errorsPage()
{
    std::ostringstream page;
    page << "# Error codes\n\n"
         << "<!-- Written from MQ_SERVICE_ERROR_CODES in include/marquee/ServiceErrorCodes.h; "
            "tests/platform/ServiceErrorCodesTest.cpp checks that it matches. -->\n\n"
         << "A failed request replies with an error object of the domain \"" << kServiceErrorDomain
         << "\": an integer code and a human-readable message (the localized description). "
            "The code says what failed; the message says it in words and may add details. "
            "A code is unique within its group of requests; groups reuse numbers.\n\n"
         << "| group | code | name | meaning |\n"
         << "|---|---|---|---|\n";
    for (const ServiceErrorCodeEntry& entry : kServiceErrorCodes)
        page << "| " << entry.group << " | " << entry.code << " | `" << entry.name << "` | " << entry.meaning << " |\n";
    return page.str();
}

TEST(ServiceErrorCodes, TheDocsPageIsTheTable)
{
    const std::string path = std::string(MQ_SOURCE_DIR) + "/docs/errors.md";
    const std::string expected = errorsPage();
    if (const char* write = std::getenv("MQ_WRITE_ERRORS_DOC"); write && std::string(write) == "1")
        std::ofstream(path, std::ios::binary) << expected;
    std::ifstream file(path, std::ios::binary);
    std::ostringstream actual;
    actual << file.rdbuf();
    EXPECT_EQ(actual.str(), expected) << path << " does not match the table; rerun with MQ_WRITE_ERRORS_DOC=1 to rewrite it";
}

TEST(ServiceErrorCodes, NoCodeTwiceWithinAGroupAndEveryNameOnce)
{
    std::set<std::pair<std::string_view, std::int64_t>> codes;
    std::set<std::string_view> names;
    for (const ServiceErrorCodeEntry& entry : kServiceErrorCodes) {
        EXPECT_TRUE(codes.emplace(entry.group, entry.code).second) << entry.group << " uses " << entry.code << " twice";
        EXPECT_TRUE(names.insert(entry.name).second) << entry.name;
        EXPECT_FALSE(entry.meaning.empty()) << entry.name;
    }
}

} // namespace
} // namespace mq
