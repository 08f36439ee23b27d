#include "dialogs_wine_session.h"

namespace lumenfall::wine {
namespace {

class SessionEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    session = new Session();
    session->Open();
  }
  void TearDown() override {
    session->Close();
    delete session;
    session = nullptr;
  }
};

[[maybe_unused]] ::testing::Environment* const kSession =
    ::testing::AddGlobalTestEnvironment(new SessionEnvironment);

}  // namespace
}  // namespace lumenfall::wine
