#pragma once

#include "server/store/Database.h"

#include <string>
#include <vector>

namespace server {

// SQLite in WAL mode, one connection per concurrent request; PRAGMA user_version counts the
// schema steps applied. One machine only: the file must not be shared over a network.
class SqliteDatabase : public Database
{
public:
    explicit SqliteDatabase(std::string path);

    bool open(std::string *error) override;
    int schemaVersion() override;
    int schemaStepCount() const override { return int(schemaSteps().size()); }
    bool shared() const override { return false; }
    std::string describe() const override { return m_path; }

    // The schema steps; each is one SQL script applied in a transaction. Append, never edit.
    static const std::vector<const char *> &schemaSteps();

protected:
    std::unique_ptr<ConnectionBackend> connect(std::string *error) override;

private:
    std::string m_path;
};

} // namespace server
