// Under LeakSanitizer: fontconfig keeps its configuration for the life of the
// process (Qt loads it once); that is not a leak of ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
