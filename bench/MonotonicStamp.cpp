// Prints CLOCK_MONOTONIC in nanoseconds and a newline: the stamp a script takes on the clock the
// bench programs read. Kept free of Qt so it starts in about a millisecond.

#include <cstdio>
#include <ctime>

int main() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    std::printf("%lld\n", static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec);
    return 0;
}
