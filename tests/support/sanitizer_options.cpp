// Default options of the sanitizers for every test program; variables in the environment still
// override them. Without a sanitizer nothing calls these.

extern "C" const char* __lsan_default_options() {
    return "suppressions=" VELMORA_LSAN_SUPPRESSIONS ":print_suppressions=0";
}

extern "C" const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}
