// The entry walk of fcsys_tree.h: a sorted listing, so answers come in the
// same order whatever order the directory returns.
#pragma once
#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

template <typename Fn> size_t fcsys_each_entry(const char* below, const char* prefix, Fn fn) {
    char dir[FCSYS_PATH_MAX];
    if (!fcsys_root_path(below, dir, sizeof dir)) return 0;
    DIR* d = opendir(dir);
    if (!d) return 0;
    std::vector<std::string> names;
    size_t n = strlen(prefix);
    while (const dirent* e = readdir(d))
        if (strncmp(e->d_name, prefix, n) == 0) names.emplace_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    size_t visited = 0;
    for (const std::string& name : names) {
        char path[FCSYS_PATH_MAX];
        if (!fcsys_join(path, sizeof path, dir, name.c_str())) continue;
        ++visited;
        if (!fn(name.c_str(), static_cast<const char*>(path))) break;
    }
    return visited;
}
