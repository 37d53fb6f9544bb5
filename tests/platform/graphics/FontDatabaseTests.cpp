#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "platform/graphics/FontDatabase.h"
#include "support/GuiApplicationEnvironment.h"

using namespace platform::detail;

namespace {

std::atomic<bool> lookedUpOnTheWorker{false};

}  // namespace

// A subtitle style or decoder thread may still be looking fonts up while the process ends, and
// Qt destroys its font database at exit. Here the worker is the first to reach the database, as
// the style manager's queue often is, and never stops: without the lookups closing first it
// reads the freed database (AddressSanitizer and ThreadSanitizer report it; a plain build may
// crash).
TEST(FontDatabaseDeathTest, LookupsOnAnotherThreadWhileTheProcessExitsNeverReachTheFreedDatabase) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::thread([] {
                const std::string family = systemFontFace().family;
                for (;;) {
                    (void)resolveFontName(family + " Bold");
                    (void)installedFamilyName(family);
                    lookedUpOnTheWorker = true;
                }
            }).detach();
            while (!lookedUpOnTheWorker) {
                std::this_thread::yield();
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}
