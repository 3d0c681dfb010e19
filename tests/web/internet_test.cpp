// Binding the Internet library at run time.

#include <gtest/gtest.h>

#include "platform/internet.h"

namespace {

TEST(BindLibraryFunctionTest, FindsAnExportedFunction) {
    EXPECT_NE(BindLibraryFunction("libcurl.so.4", "curl_easy_init"), nullptr);
}

TEST(BindLibraryFunctionDeathTest, MissingLibraryOrFunctionIsFatalAndNamesBoth) {
    EXPECT_EXIT(BindLibraryFunction("libvelmora-missing.so.1", "curl_easy_init"),
                testing::ExitedWithCode(255), "libvelmora-missing\\.so\\.1.*curl_easy_init");
    EXPECT_EXIT(BindLibraryFunction("libcurl.so.4", "curl_no_such_function"),
                testing::ExitedWithCode(255), "libcurl\\.so\\.4.*curl_no_such_function");
}

} // namespace
