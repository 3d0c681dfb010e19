// The QApplication that every widget test needs, for the life of the test program.
#include <memory>

#include <QApplication>
#include <gtest/gtest.h>

namespace {

class QtEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "app_test";
        static char* argv[] = {name, nullptr};
        application_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { application_.reset(); }

  private:
    std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] testing::Environment* const registered =
    testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace
