// verselane-floor IN OUT: reads the whole of IN into memory and writes it to
// OUT, nothing else. It is what any program that reads and writes a file has
// to pay at least, the yardstick that scripts/bench-compare measures the
// command-line program against.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "Usage: verselane-floor IN OUT\n");
        return 2;
    }
    int in = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (in < 0 || ::fstat(in, &st) != 0) {
        std::fprintf(stderr, "%s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    const size_t size = static_cast<size_t>(st.st_size);
    auto bytes = std::make_unique_for_overwrite<char[]>(size);
    size_t got = 0;
    while (got < size) {
        ssize_t n = ::read(in, bytes.get() + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            std::fprintf(stderr, "%s: %s\n", argv[1], n < 0 ? std::strerror(errno) : "cut short");
            return 1;
        }
        got += static_cast<size_t>(n);
    }
    ::close(in);

    int out = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) {
        std::fprintf(stderr, "%s: %s\n", argv[2], std::strerror(errno));
        return 1;
    }
    size_t put = 0;
    while (put < size) {
        ssize_t n = ::write(out, bytes.get() + put, size - put);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            std::fprintf(stderr, "%s: %s\n", argv[2], std::strerror(errno));
            return 1;
        }
        put += static_cast<size_t>(n);
    }
    if (::close(out) != 0) {
        std::fprintf(stderr, "%s: %s\n", argv[2], std::strerror(errno));
        return 1;
    }
    return 0;
}
