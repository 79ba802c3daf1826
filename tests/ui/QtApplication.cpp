// One QApplication for all window tests, made before the first test.
#include "UiTestSupport.h"

#include <gtest/gtest.h>

namespace
{
struct QtEnvironment final : testing::Environment
{
    void SetUp() override { EnsureDialogTestApp(); }
};
const testing::Environment* const s_environment =
    testing::AddGlobalTestEnvironment(new QtEnvironment);
} // namespace
