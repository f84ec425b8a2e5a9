// The failure kinds and the routines that append the system's error code.

#include <gtest/gtest.h>

#include <type_traits>

#include "platform/error_code.h"
#include "tftp/failures.h"

using namespace ostrel;
using namespace ostrel::tftp;

namespace {

TEST(FailureKinds, AreDistinctStandardExceptionsOwningTheirMessage) {
  static_assert(std::is_base_of_v<std::exception, completion_exception>);
  static_assert(!std::is_same_v<completion_exception, tftp_exception>);
  static_assert(!std::is_base_of_v<tftp_exception, completion_exception>);
  std::string text = "File not found";
  tftp_exception original(text);
  text = "changed";
  tftp_exception copy = original;
  EXPECT_STREQ(copy.what(), "File not found");
  EXPECT_STREQ(original.what(), copy.what());
}

TEST(RaiseWithCode, FormatsTheCodeAsSignedDecimal) {
  platform::set_last_socket_error(10048);
  try {
    raise_socket_error("Can't bind server socket");
    FAIL();
  } catch (const socket_exception& e) {
    EXPECT_STREQ(e.what(), "Can't bind server socket (code 10048)");
  }
  EXPECT_EQ(with_error_code("Can't read from file", -5), "Can't read from file (code -5)");
  platform::set_last_system_error(13);
  EXPECT_THROW(raise_win32_error("error in sendto()"), win32_exception);
}

TEST(RaiseWithCode, ACodeOfZeroRaisesNothing) {
  platform::set_last_system_error(0);
  EXPECT_NO_THROW(raise_win32_error("Can't read from file"));
  platform::set_last_socket_error(0);
  EXPECT_NO_THROW(raise_socket_error("Can't create server socket"));
  // Operations that cannot go on raise all the same, showing the code 0.
  try {
    fail_with_win32_error("error in sendto()");
  } catch (const win32_exception& e) {
    EXPECT_STREQ(e.what(), "error in sendto() (code 0)");
  }
}

}  // namespace
