#include "testutil.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

void tmpdir::SetUp()
{
    const char *base = getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/quorral-test-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    ASSERT_NE(mkdtemp(buf.data()), nullptr) << strerror(errno);
    dir = buf.data();
}

void tmpdir::TearDown()
{
    if (!dir.empty() && !HasFailure())
        std::system(("rm -rf '" + dir + "'").c_str());
    else if (!dir.empty())
        fprintf(stderr, "kept %s\n", dir.c_str());
}

void putfile(const std::string &path, const std::string &bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), (std::streamsize)bytes.size());
    ASSERT_TRUE(f.good()) << path;
}

std::string getfile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return "<missing>";
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> listdir(const std::string &dir)
{
    std::vector<std::string> out;
    DIR *d = opendir(dir.c_str());
    while (struct dirent *e = d ? readdir(d) : nullptr)
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, ".."))
            out.push_back(e->d_name);
    if (d)
        closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

std::string headertext(int bpp, int slices, int columns, int rows, int channels)
{
    return "Bytes per pixel=" + std::to_string(bpp) +
           "\nSize of dimension[0]=" + std::to_string(slices) +
           "\nSize of dimension[1]=" + std::to_string(columns) +
           "\nSize of dimension[2]=" + std::to_string(rows) +
           "\nNumber of channels=" + std::to_string(channels) + "\n";
}

image::image(int32_t c, int32_t r, int32_t s, int16_t fill)
    : columns(c), rows(r), slices(s), vox((size_t)c * r * s, fill)
{
}

volume wholeview(image &im)
{
    return volume{im.columns, im.rows, im.slices, 1, im.slices, 0, im.rows, im.vox.data()};
}

void checker(image &im)
{
    for (int z = 1; z <= im.slices; z++)
        for (int y = 0; y < im.rows; y++)
            for (int x = 0; x < im.columns; x++)
                im.at(x, y, z) = (x + y + z) % 2 ? 900 : 10;
}

image byhand()
{
    image im(40, 30, 30);
    checker(im);
    for (int z = 9; z <= 21; z++)
        for (int y = 12; y <= 18; y++)
            for (int x = 24; x <= 30; x++)
                im.at(x, y, z) = 100;
    im.at(24, 12, 9) = 137;
    im.at(30, 18, 21) = 91;
    return im;
}

// n = 637, range 137 - 91 = 46, sum 635 * 100 + 137 + 91.
const double byhandmeas = (double)(46 * 637) / (635.0 * 100 + 137 + 91);

void randomfill(image &im, uint32_t seed, int lo, int span)
{
    for (int16_t &v : im.vox) {
        seed = seed * 1103515245u + 12345u;
        v = (int16_t)(lo + (int)((seed >> 16) & 0x7fff) % span);
    }
}

void putimage(const std::string &base, const image &im)
{
    putfile(base + ".hd", headertext(2, im.slices, im.columns, im.rows));
    std::string bytes;
    for (int16_t v : im.vox) {
        bytes += (char)(v & 0xff);
        bytes += (char)((uint16_t)v >> 8);
    }
    putfile(base + ".im", bytes);
}

void putmask(const std::string &base, int32_t columns, int32_t rows, int32_t slices,
             const std::vector<uint8_t> &bytes)
{
    putfile(base + ".hd", headertext(1, slices, columns, rows));
    putfile(base + ".im", std::string(bytes.begin(), bytes.end()));
}

static std::string drain(int fd)
{
    std::string s;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            s.append(buf, (size_t)n);
    close(fd);
    return s;
}

runres runprog(const std::string &bin, const std::string &name,
               const std::vector<std::string> &args, const std::string &cwd,
               const std::string &outpath, bool nobody)
{
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0)
        return {"", "pipe failed", -1, 0};
    // Opened here and run by descriptor, and the folder entered before
    // privileges are dropped: user nobody need not reach the build tree or
    // the test folder's parents (a checkout under /root, say).
    int binfd = open(bin.c_str(), O_RDONLY | O_CLOEXEC);
    pid_t pid = fork();
    if (pid == 0) {
        // A run that blocks (on a FIFO, say) fails its test instead of
        // hanging the suite.
        alarm(120);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0)
            _exit(126);
        if (nobody && getuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(126);
        if (!outpath.empty()) {
            int fd = open(outpath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0)
                _exit(126);
            dup2(fd, 1);
        } else {
            dup2(out[1], 1);
        }
        dup2(err[1], 2);
        close(out[0]);
        close(out[1]);
        close(err[0]);
        close(err[1]);
        std::vector<char *> av;
        av.push_back(const_cast<char *>(name.c_str()));
        for (const std::string &a : args)
            av.push_back(const_cast<char *>(a.c_str()));
        av.push_back(nullptr);
        std::vector<char *> env;
        for (char **e = environ; *e; e++)
            env.push_back(*e);
        env.push_back(nullptr);
        if (binfd >= 0)
            fexecve(binfd, av.data(), env.data());
        _exit(127);
    }
    if (binfd >= 0)
        close(binfd);
    close(out[1]);
    close(err[1]);
    runres r;
    r.out = drain(out[0]);
    r.err = drain(err[0]);
    int st = 0;
    struct rusage ru = {};
    wait4(pid, &st, 0, &ru);
    r.maxrsskb = ru.ru_maxrss;
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

pid_t startprog(const std::string &bin, const std::string &name,
                const std::vector<std::string> &args, const std::string &cwd, const int *hold)
{
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    char c;
    if (hold)
        close(hold[1]);
    if ((hold && read(hold[0], &c, 1) != 0) || chdir(cwd.c_str()) != 0 ||
        !freopen("/dev/null", "w", stdout))
        _exit(126);
    std::vector<char *> av;
    av.push_back(const_cast<char *>(name.c_str()));
    for (const std::string &a : args)
        av.push_back(const_cast<char *>(a.c_str()));
    av.push_back(nullptr);
    execv(bin.c_str(), av.data());
    _exit(127);
}

int waitprog(pid_t pid)
{
    int st = 0;
    if (waitpid(pid, &st, 0) != pid)
        return -1;
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

std::vector<std::string> visiblenames(const std::string &dir)
{
    std::vector<std::string> v;
    for (const std::string &n : listdir(dir))
        if (n[0] != '.')
            v.push_back(n);
    return v;
}

std::string vroitext(int x, int y, int z)
{
    char buf[512];
    snprintf(buf, sizeof buf,
             "Number of ROIs=1\r\nRoi Label=seed\r\nt0=0\r\nt1=0\r\n"
             "x0=%.6f\r\nx1=%.6f\r\ny0=%.6f\r\ny1=%.6f\r\nz0=%.6f\r\nz1=%.6f\r\n",
             x - 2.5, x + 3.5, y - 2.5, y + 3.5, z - 6.5, z + 5.5);
    return buf;
}
