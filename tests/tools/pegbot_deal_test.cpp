// pegbot's deals are the game's: for a seed, the cards the window deals in
// its first rounds are the ones pegbot plays.
#include "botmatch.h"
#include "gamefixture.h"

namespace {

class PegbotDeal : public GameTest {};

TEST_F(PegbotDeal, ASeedDealsWhatTheGameDeals)
{
    for (std::uint32_t seed : {1u, 20261209u, 4294967295u}) {
        const auto deals = bot::dealsFrom(seed, 2);
        startGame(seed);
        for (int round = 0; round < 2; ++round) {
            if (round > 0)
                window->button_start2Click();  // a continued round shuffles again
            fillBoard();
            for (int i = 0; i < 16; ++i)
                EXPECT_EQ(cell(i / 4 + 1, i % 4 + 1)->tag(), deals[round][i]) << seed << " round " << round + 1;
            EXPECT_EQ(cell(5, 5)->tag(), deals[round][16]) << seed << " starter, round " << round + 1;
        }
    }
}

} // namespace
