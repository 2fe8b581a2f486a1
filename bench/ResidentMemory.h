#pragma once

#include <fstream>
#include <string>

// VmRSS of a process ("self" or a pid) in kB, 0 when unreadable.
inline long residentKilobytes(const std::string& process = "self") {
    std::ifstream status("/proc/" + process + "/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(4096, '\n');
    }
    return 0;
}
