// One QApplication for all window tests (offscreen platform, set by ctest).
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace
{
class QtEnvironment final : public testing::Environment
{
public:
    void SetUp() override
    {
        if (std::getenv("QT_QPA_PLATFORM") == nullptr)
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        m_application = std::make_unique<QApplication>(m_argc, m_argv);
    }
    void TearDown() override { m_application.reset(); }

private:
    int m_argc = 1;
    char m_name[16] = "test_ui";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QApplication> m_application;
};

const testing::Environment* const s_environment =
    testing::AddGlobalTestEnvironment(new QtEnvironment);
} // namespace
