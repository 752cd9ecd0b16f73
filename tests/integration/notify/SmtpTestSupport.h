#pragma once
// Shared pieces of the SMTP session tests.

#include "ScriptedServer.h"

#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

inline std::string EhloLine() {
    char name[100] = {};
    gethostname(name, sizeof name - 1);
    return std::string("ehlo ") + name + "\r\n";
}

// Greeting and EHLO, then the given steps.
inline std::vector<std::string> Greeted(std::vector<std::string> rest) {
    std::vector<std::string> script = {"S:220 test.local ESMTP", "C", "S:250-test.local",
                                       "S:250 AUTH LOGIN PLAIN"};
    script.insert(script.end(), rest.begin(), rest.end());
    return script;
}

// What the client sent after its EHLO line.
inline std::string AfterEhlo(const std::string& received) {
    const std::string ehlo = EhloLine();
    return received.rfind(ehlo, 0) == 0 ? received.substr(ehlo.size()) : "<no EHLO>" + received;
}

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
