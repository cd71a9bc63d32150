// Qt is not built for ThreadSanitizer, and QThread::wait() joins through a futex the sanitizer
// cannot see: the end of Qt Test's watchdog thread reads as a race with the destruction of its
// wait condition and of the watchdog itself. Left out: that destruction, and what Qt Test's own
// code asks of the sanitizer's interceptors. Every access by this project's code is still checked.
extern "C" const char* __tsan_default_suppressions() {
    return "race:QWaitCondition::~QWaitCondition\n"
           "called_from_lib:libQt6Test.so.6\n";
}
