// A stand-in for hbaset in fwsweep's tests. Everything it does is scripted by
// files in $FWSTUB_DIR:
//   argv.log             one line per run: the arguments after the program name, tab-separated
//   listattr.txt         what "listattr" prints (exit code from listattr.rc, default 0)
//   download-n<N>.txt    the answer of "download n=<N> ...", else download.txt:
//                        first line the exit code (a negative one: killed by that signal;
//                        "kill-parent": the stub kills fwsweep, then ends with 0),
//                        the rest is printed as it is
//   hbaattr.txt          what "hbaattr n=<N>" prints (exit code 0)
// Without an answer file a download prints "Command completed, NO Error" and exits 0.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string g_dir;

bool readFile(const std::string& name, std::string* out) {
    std::ifstream in(g_dir + "/" + name, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    *out = s.str();
    return true;
}

int finish(int code, const std::string& text) {
    fwrite(text.data(), 1, text.size(), stdout);
    fflush(stdout);
    if (code < 0) raise(-code);
    return code;
}

// "code\ntext..." answers.
int answer(const std::string& file) {
    std::string s;
    if (!readFile(file, &s)) return finish(0, "Command completed, NO Error\n");
    size_t nl = s.find('\n');
    if (s.compare(0, nl, "kill-parent") == 0) {
        // fwsweep dies while its child runs; the child's output goes nowhere.
        kill(getppid(), SIGKILL);
        return finish(0, nl == std::string::npos ? "" : s.substr(nl + 1));
    }
    int code = atoi(s.substr(0, nl).c_str());
    return finish(code, nl == std::string::npos ? "" : s.substr(nl + 1));
}

} // namespace

int main(int argc, char** argv) {
    const char* dir = getenv("FWSTUB_DIR");
    if (!dir) return 99;
    g_dir = dir;
    std::string line;
    for (int i = 1; i < argc; ++i)
        line += (i > 1 ? "\t" : "") + std::string(argv[i]);
    if (FILE* log = fopen((g_dir + "/argv.log").c_str(), "a")) {
        fprintf(log, "%s\n", line.c_str());
        fclose(log);
    }
    std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "listattr") {
        std::string text, rc;
        readFile("listattr.txt", &text);
        int code = readFile("listattr.rc", &rc) ? atoi(rc.c_str()) : 0;
        return finish(code, text);
    }
    if (cmd == "hbaattr") {
        std::string text;
        readFile("hbaattr.txt", &text);
        return finish(0, text);
    }
    if (cmd == "download") {
        for (int i = 2; i < argc; ++i) {
            if (strncmp(argv[i], "n=", 2) == 0) {
                std::string s;
                std::string name = "download-n" + std::string(argv[i] + 2) + ".txt";
                if (readFile(name, &s)) return answer(name);
            }
        }
        return answer("download.txt");
    }
    return finish(1, "Reported Error of 1\n");
}
