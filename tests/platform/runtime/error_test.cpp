#include "platform/runtime/error.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

namespace platform {
namespace {

Error Reported(const std::function<void()>& f) {
  try {
    f();
  } catch (...) {
    return CurrentError();
  }
  return Error(0, "nothing thrown");
}

TEST(CurrentErrorTest, EveryExceptionBecomesANumberAndAChineseText) {
  struct Case {
    std::function<void()> raise;
    int number;
    const char* description;
  } const cases[] = {
      {[] { Raise(err::kFileNotFound, "文件未找到：a.xls"); }, 53, "文件未找到：a.xls"},
      {[] { throw std::bad_alloc(); }, 7, "内存不足"},
      {[] { throw std::logic_error("field count"); }, 51, "内部错误：field count"},
      {[] { throw 42; }, 51, "内部错误"},
  };
  for (const Case& c : cases) {
    const Error e = Reported(c.raise);
    EXPECT_EQ(e.number(), c.number);
    EXPECT_EQ(e.description(), c.description);
  }
}

}  // namespace
}  // namespace platform
