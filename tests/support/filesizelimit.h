#pragma once

#include <QtGlobal>
#include <csignal>
#include <sys/resource.h>

namespace qb::test {

// While it lives, writing a file beyond the limit fails with EFBIG, even for root: a disk
// that fills up part-way.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        const rlimit limit{bytes, m_saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }
    Q_DISABLE_COPY(FileSizeLimit)

private:
    rlimit m_saved{};
};

} // namespace qb::test
