// Qt's libraries, and the GLib event loop under them, are not built with
// ThreadSanitizer, so it cannot see their locks and wake-ups (the queued calls
// that carry the hand-over, the GUI library's own threads) and reports every
// access ordered by them. Races between our own frames are still reported; the
// core's threading is checked without Qt by its own suites.

extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so\n"
           "race:libQt6Gui.so\n"
           "race:libQt6Widgets.so\n"
           "race:libglib-2.0.so\n"
           "called_from_lib:libQt6Core.so\n"
           "called_from_lib:libQt6Gui.so\n"
           "called_from_lib:libQt6Widgets.so\n"
           "called_from_lib:libglib-2.0.so\n";
}
