#pragma once

// Captures everything written to the process's standard output (C stdio and
// std::cout alike) between construction and finish().

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

class StdoutCapture
{
public:
    StdoutCapture()
    {
        std::cout.flush();
        std::fflush(stdout);
        file = std::tmpfile();
        saved = dup(STDOUT_FILENO);
        dup2(fileno(file), STDOUT_FILENO);
    }

    ~StdoutCapture() { finish(); }

    // Restores standard output and returns what was written, split in lines.
    std::vector<std::string> finish()
    {
        if (file == nullptr)
            return lines;
        std::cout.flush();
        std::fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(saved);
        std::rewind(file);
        std::string line;
        for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file))
        {
            if (c == '\n')
            {
                lines.push_back(line);
                line.clear();
            }
            else
            {
                line.push_back(static_cast<char>(c));
            }
        }
        if (!line.empty())
            lines.push_back(line);
        std::fclose(file);
        file = nullptr;
        return lines;
    }

private:
    std::FILE* file = nullptr;
    int saved = -1;
    std::vector<std::string> lines;
};
