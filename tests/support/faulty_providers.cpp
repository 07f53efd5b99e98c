#include "support/faulty_providers.h"

#include "platform/runtime/error.h"

namespace testing_support {
namespace {

using platform::data::RowSource;
using platform::data::Session;

class FaultySession : public Session {
 public:
  FaultySession(std::unique_ptr<Session> inner, FaultyProviders& owner, bool dbase)
      : inner_(std::move(inner)), owner_(owner), dbase_(dbase) {}
  ~FaultySession() override { owner_.SessionGone(); }

  std::unique_ptr<RowSource> OpenSchema(int schema) override { return inner_->OpenSchema(schema); }
  std::unique_ptr<RowSource> Query(std::string_view statement) override {
    owner_.Check(FaultyProviders::Op::kQuery);
    return inner_->Query(statement);
  }
  void Execute(std::string_view statement) override {
    if (dbase_) owner_.Check(FaultyProviders::Op::kExecute);
    inner_->Execute(statement);
  }
  void Close() override {
    if (dbase_) owner_.Check(FaultyProviders::Op::kClose);
    inner_->Close();
  }
  const platform::data::WarningList& DataWarnings() const override { return inner_->DataWarnings(); }

 private:
  std::unique_ptr<Session> inner_;
  FaultyProviders& owner_;
  bool dbase_;
};

}  // namespace

std::unique_ptr<Session> FaultyProviders::OpenWorkbook(std::string_view path) {
  Check(Op::kOpenWorkbook);
  auto session = std::make_unique<FaultySession>(inner_.OpenWorkbook(path), *this, false);
  ++live_sessions_;
  return session;
}

std::unique_ptr<Session> FaultyProviders::OpenDbase(std::string_view folder) {
  Check(Op::kOpenDbase);
  auto session = std::make_unique<FaultySession>(inner_.OpenDbase(folder), *this, true);
  ++live_sessions_;
  return session;
}

}  // namespace testing_support
