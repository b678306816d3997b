/*
 * replay_main.cpp - runs a fuzz target over saved inputs without libFuzzer:
 * every file named on the command line, and every file inside each
 * directory named.  Built with the normal compiler, so the committed corpus
 * exercises the target in every test run (and under the sanitizers in the
 * sanitizer build).  Exit status 0 when every input ran.
 */
#include <dirent.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

int RunFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
        return 1;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
    return 0;
}

int RunPath(const std::string &path, int &count)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        std::fprintf(stderr, "replay: no such input %s\n", path.c_str());
        return 1;
    }
    if (!S_ISDIR(info.st_mode)) {
        ++count;
        return RunFile(path);
    }
    DIR *dir = opendir(path.c_str());
    if (dir == nullptr)
        return 1;
    int failures = 0;
    while (struct dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        failures += RunPath(path + "/" + name, count);
    }
    closedir(dir);
    return failures;
}

} // namespace

int main(int argc, char **argv)
{
    int failures = 0, count = 0;
    for (int i = 1; i < argc; ++i)
        failures += RunPath(argv[i], count);
    std::printf("replay: %d inputs, %d unreadable\n", count, failures);
    return (failures == 0 && count > 0) ? 0 : 1;
}
