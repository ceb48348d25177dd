// Start-up of the settings plugin: subscriptions, paths, the local file and the account types.
#include <gtest/gtest.h>

#include "tests/integration/settings_fixture.h"

namespace Varn::Host::settings_test {
namespace {

class SettingsStartupTest : public SettingsFixture {};

TEST_F(SettingsStartupTest, StartsWithoutAnyFile) { ASSERT_NO_FATAL_FAILURE(LoadAndStart()); }

}  // namespace
}  // namespace Varn::Host::settings_test
