// Soak of the headless server: starts `corvana serve --virtual` (its output to /dev/null, its
// preferences in a throwaway folder), plays 60,000 mixed requests as a libmodbus master and
// prints the server's resident size every 5,000 requests, then the plateau (the largest size
// over the second half) and the peak.
//   build/bench/ServeSoak [REQUESTS [CORVANA]]   (CORVANA: another build's executable)
#include "bench/ResidentMemory.h"

#include <modbus.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr int defaultRequests = 60'000;
constexpr int sampleEvery = 5'000;

} // namespace

int main(int argc, char** argv) {
    const int requests = argc > 1 ? std::max(1, std::atoi(argv[1])) : defaultRequests;
    const std::string executable = argc > 2 ? argv[2] : CORVANA_EXECUTABLE;
    char folderTemplate[] = "/tmp/corvana-soak-XXXXXX";
    if (::mkdtemp(folderTemplate) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path folder = folderTemplate;
    const std::string link = (folder / "modbus").string();
    ::setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> words = {executable, "serve",  "--virtual", link,
                                      "--baud",   "115200", "--frame",   "8N1"};
    std::vector<char*> arguments;
    for (auto& word : words) {
        arguments.push_back(word.data());
    }
    arguments.push_back(nullptr);
    pid_t server = 0;
    if (::posix_spawn(&server, executable.c_str(), &actions, nullptr, arguments.data(), environ) !=
        0) {
        std::perror("posix_spawn");
        return 1;
    }
    posix_spawn_file_actions_destroy(&actions);
    for (int i = 0; i < 100 && !std::filesystem::is_symlink(link); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

    modbus_t* master = modbus_new_rtu(link.c_str(), 115200, 'N', 8, 1);
    if (master == nullptr || modbus_connect(master) != 0) {
        std::fprintf(stderr, "cannot open %s\n", link.c_str());
        ::kill(server, SIGTERM);
        ::waitpid(server, nullptr, 0);
        return 1;
    }
    modbus_set_slave(master, 1);
    modbus_set_response_timeout(master, 2, 0);

    std::vector<long> samples;
    int failed = 0;
    std::array<std::uint16_t, 10> registers{};
    std::array<std::uint8_t, 10> bits{};
    std::printf("requests  resident (MB)\n");
    for (int i = 1; i <= requests; ++i) {
        int result = 0;
        switch (i % 6) {
        case 0:
            result = modbus_read_registers(master, 0, 2, registers.data());
            break;
        case 1:
            result = modbus_write_register(master, 1, static_cast<std::uint16_t>(i % 4));
            break;
        case 2:
            result = modbus_read_bits(master, 0, 2, bits.data());
            break;
        case 3:
            result = modbus_read_input_registers(master, 0, 1, registers.data());
            break;
        case 4:
            result = modbus_read_registers(master, 100, 10, registers.data());
            break; // refused
        default:
            result = modbus_write_bit(master, 0, i % 2);
            break;
        }
        failed += result < 0; // refusals included: the answer is what counts, not its kind
        if (i % sampleEvery == 0) {
            samples.push_back(residentKilobytes(std::to_string(server)));
            std::printf("%8d  %6.1f\n", i, samples.back() / 1024.0);
            std::fflush(stdout);
        }
    }
    modbus_close(master);
    modbus_free(master);
    ::kill(server, SIGTERM);
    ::waitpid(server, nullptr, 0);
    std::filesystem::remove_all(folder);

    if (samples.empty()) {
        return 0;
    }
    const long plateau = *std::max_element(samples.begin() + samples.size() / 2, samples.end());
    const long peak = *std::max_element(samples.begin(), samples.end());
    std::printf("plateau %.1f MB, peak %.1f MB, %d requests refused or unanswered\n",
                plateau / 1024.0, peak / 1024.0, failed);
    return 0;
}
