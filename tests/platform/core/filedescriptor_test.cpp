#include "filedescriptor.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <optional>
#include <string>

#include <fcntl.h>
#include <unistd.h>

using platform::UniqueFd;

namespace {

bool isOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1;
}

struct LetGoRow {
    const char *name;
    std::function<void(std::optional<UniqueFd> &)> letGo;
};

void PrintTo(const LetGoRow &row, std::ostream *out) { *out << row.name; }

const LetGoRow kLetGoRows[] = {
    {"destroyed", [](std::optional<UniqueFd> &owner) { owner.reset(); }},
    {"reset to none", [](std::optional<UniqueFd> &owner) { owner->reset(); }},
    {"closed", [](std::optional<UniqueFd> &owner) { EXPECT_TRUE(owner->close()); }},
    {"closed twice",
     [](std::optional<UniqueFd> &owner) {
         EXPECT_TRUE(owner->close());
         EXPECT_TRUE(owner->close()) << "closing nothing is no failure";
     }},
};

class LetGoTest : public ::testing::TestWithParam<LetGoRow> {};

// The descriptor is closed at once, and the owner never closes its number
// again: by then the number may belong to someone else.
TEST_P(LetGoTest, ClosesTheDescriptorExactlyOnce)
{
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[1]);
    std::optional<UniqueFd> owner;
    owner.emplace(ends[0]);
    GetParam().letGo(owner);
    EXPECT_FALSE(isOpen(ends[0]));
    EXPECT_FALSE(owner && owner->isOpen());

    // The lowest free numbers come first, so the new pipe takes the old one.
    int again[2];
    ASSERT_EQ(::pipe(again), 0);
    owner.reset();
    EXPECT_TRUE(isOpen(again[0]));
    EXPECT_TRUE(isOpen(again[1]));
    ::close(again[0]);
    ::close(again[1]);
}

INSTANTIATE_TEST_SUITE_P(Rows, LetGoTest, ::testing::ValuesIn(kLetGoRows), [](const auto &row) {
    std::string name;
    for (const char c : std::string(row.param.name))
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});

} // namespace
