// Input files read whole and sealed copies: a FIFO or directory is refused at
// once (never waited on), a file over the limit is refused, and a sealed copy
// reads back the bytes given and cannot be changed through its name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/plat_image_file.h"

namespace {

struct Dir {
    std::string path;
    Dir() {
        char tmpl[] = "/tmp/hbaimage.XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~Dir() {
        std::string cmd = "rm -rf '" + path + "'";
        int rc = system(cmd.c_str());
        (void)rc;
    }
    std::string file(const char* name, const std::string& bytes) const {
        std::string p = path + "/" + name;
        FILE* f = fopen(p.c_str(), "wb");
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
        return p;
    }
};

TEST(ReadRegularFile, RefusesWhatIsNotAWholeRegularFile) {
    Dir d;
    const std::string fifo = d.path + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path;
        uint64_t limit;
        int status;
        size_t size;
    };
    const Case cases[] = {
        {d.file("image", "0123456789"), 10, PLAT_READ_OK, 10},
        {d.file("empty", ""), 10, PLAT_READ_OK, 0},
        {d.file("big", "0123456789"), 9, PLAT_READ_TOO_BIG, 0},
        {fifo, 10, PLAT_READ_NOT_REGULAR, 0}, // no writer: a blocking open would wait forever
        {d.path, 10, PLAT_READ_NOT_REGULAR, 0},
        {d.path + "/missing", 10, PLAT_READ_OPEN, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::vector<uint8_t> out(3, 0xAA);
        EXPECT_EQ(plat_read_regular_file(c.path.c_str(), c.limit, &out), c.status);
        EXPECT_EQ(out.size(), c.size);
    }
}

TEST(SealedCopy, ReadsBackTheBytesAndRefusesWrites) {
    const std::string bytes = "checked image bytes";
    char path[64];
    int fd = plat_sealed_copy("fw.ufi", bytes.data(), bytes.size(), path, sizeof path);
    ASSERT_GE(fd, 0);
    std::vector<uint8_t> back;
    ASSERT_EQ(plat_read_regular_file(path, 1024, &back), PLAT_READ_OK);
    EXPECT_EQ(std::string(back.begin(), back.end()), bytes);
    // Sealed: nobody can change what was checked, through the name or the descriptor.
    int w = open(path, O_WRONLY);
    if (w >= 0) {
        EXPECT_EQ(write(w, "x", 1), -1);
        close(w);
    }
    EXPECT_EQ(write(fd, "x", 1), -1);
    EXPECT_EQ(ftruncate(fd, 0), -1);
    close(fd);
    EXPECT_EQ(plat_sealed_copy("x", "y", 1, path, 8), -1); // the name does not fit
}

} // namespace
