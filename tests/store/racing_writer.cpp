// Writes a JSON file the way Claude Code does, without taking any lock: read it, add one member,
// write a temporary file and rename it over the original, every INTERVAL milliseconds, until
// DURATION milliseconds have passed. Write number N adds "racer": {"wN": N}, so whoever reads
// the file afterwards can count the writes that were lost. Prints the number of writes.
//
//   racing_writer FILE INTERVAL_MS DURATION_MS

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::cerr << "usage: racing_writer FILE INTERVAL_MS DURATION_MS\n";
        return 2;
    }
    const std::string file = argv[1];
    const std::string temporary = file + ".racer-tmp";
    const auto interval = std::chrono::milliseconds(std::stoi(argv[2]));
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::stoi(argv[3]));
    int writes = 0;
    while (std::chrono::steady_clock::now() < end) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        auto root = nlohmann::json::parse(text.str(), nullptr, false);
        if (root.is_object()) {
            ++writes;
            root["racer"]["w" + std::to_string(writes)] = writes;
            {
                std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
                out << root.dump(2);
            }
            if (std::rename(temporary.c_str(), file.c_str()) != 0) {
                std::perror("rename");
                return 1;
            }
        }
        std::this_thread::sleep_for(interval);
    }
    std::cout << writes << std::endl;
    return 0;
}
