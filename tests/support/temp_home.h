// TempHome: a fresh, empty home folder for one test; the platform's home
// folder points at it while the object lives.
#pragma once

#include <string>

class TempHome {
public:
    // Creates a new folder under the system's temporary folder (owner-only
    // permissions) and makes it the home folder. Fails the test if it cannot.
    TempHome();
    // Points the home folder back to the default rules and removes the folder
    // with everything in it.
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::string& path() const { return path_; }
    // The absolute path of a file or folder inside the home folder.
    std::string file(const std::string& relative) const;
    // Writes a file inside the home folder, creating its folders.
    void writeFile(const std::string& relative, const std::string& content) const;
    // Writes "config.toml".
    void writeConfig(const std::string& toml) const { writeFile("config.toml", toml); }
    // The whole content of a file inside the home folder; empty when missing.
    std::string readFile(const std::string& relative) const;
    bool exists(const std::string& relative) const;

private:
    std::string path_;
};
