/* A library that has the file name of a real one but exports none of its entry
   points, to test that loading fails cleanly. */
int zorvex_stub_library_marker(void) {
    return 42;
}
