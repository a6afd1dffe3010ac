#pragma once

#include "server/store/Database.h"

#include <string>
#include <vector>

namespace server {

// PostgreSQL through libpq: a small pool of connections (a broken one is discarded, an idempotent
// statement retried once on a fresh one), writers' transactions taken one at a time under an
// advisory lock as on SQLite, and the schema made and upgraded under an advisory lock, so that
// instances starting together do not race.
class PostgresDatabase : public Database
{
public:
    explicit PostgresDatabase(std::string url);

    bool open(std::string *error) override;
    int schemaVersion() override;
    int schemaStepCount() const override { return int(schemaSteps().size()); }
    bool shared() const override { return true; }
    std::string describe() const override;

    // The schema steps, in order; never change one that has shipped, append a new one.
    static const std::vector<const char *> &schemaSteps();
    // "?1" placeholders as PostgreSQL writes them ("$1"), outside quoted text.
    static std::string translate(const char *sql);

protected:
    std::unique_ptr<ConnectionBackend> connect(std::string *error) override;

private:
    std::string m_url;
};

} // namespace server
