// Every scalino-cli run of these tests gets a home folder of its own, so no test reads or
// writes the settings of the user running them.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/TempDir.h"

namespace {

class PrivateHome : public ::testing::Environment {
public:
    void SetUp() override {
        home_ = std::make_unique<scalino::test::TempDir>();
        ::setenv("HOME", home_->path().c_str(), 1);
        ::unsetenv("SCALINO_PREFS_FILE");
        ::unsetenv("ProgramData");
    }
    void TearDown() override { home_.reset(); }

private:
    std::unique_ptr<scalino::test::TempDir> home_;
};

const auto* const kPrivateHome = ::testing::AddGlobalTestEnvironment(new PrivateHome);

}  // namespace
