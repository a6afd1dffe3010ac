#include "server/store/sqlite/SqliteDatabase.h"

namespace server {

// Each step moves the schema one version up. A database is upgraded by applying, in order, the
// steps it has not seen; never change a step that has shipped, add a new one instead.
const std::vector<const char *> &SqliteDatabase::schemaSteps()
{
    static const std::vector<const char *> steps = {
        // 1: accounts, sessions, collections and reports.
        R"sql(
        CREATE TABLE users (
            id INTEGER PRIMARY KEY,
            email TEXT NOT NULL UNIQUE COLLATE NOCASE,
            password_hash TEXT NOT NULL,
            pending_password_hash TEXT,
            pending_expires INTEGER NOT NULL DEFAULT 0,
            vip INTEGER NOT NULL DEFAULT 0,
            permanent_vip INTEGER NOT NULL DEFAULT 0,
            vip_until INTEGER NOT NULL DEFAULT 0,
            union_uid TEXT NOT NULL DEFAULT '0',
            created_at INTEGER NOT NULL
        );
        CREATE TABLE sessions (
            id TEXT PRIMARY KEY,
            user_id INTEGER REFERENCES users(id) ON DELETE CASCADE,
            captcha TEXT,
            captcha_expires INTEGER NOT NULL DEFAULT 0,
            last_seen INTEGER NOT NULL
        );
        CREATE INDEX sessions_user ON sessions(user_id);
        CREATE TABLE collections (
            id INTEGER PRIMARY KEY AUTOINCREMENT,
            user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
            name TEXT NOT NULL,
            hash TEXT NOT NULL,
            file_index INTEGER NOT NULL,
            created_at INTEGER NOT NULL,
            UNIQUE (user_id, hash, file_index)
        );
        CREATE TABLE reports (
            id INTEGER PRIMARY KEY,
            user_id INTEGER REFERENCES users(id) ON DELETE SET NULL,
            name TEXT NOT NULL,
            category TEXT NOT NULL,
            address TEXT NOT NULL,
            created_at INTEGER NOT NULL
        );
        )sql",
        // 2: the resource library. File ids are never reused, so a code issued for a removed
        // file can never name another one.
        R"sql(
        CREATE TABLE resources (
            id INTEGER PRIMARY KEY AUTOINCREMENT,
            hash TEXT NOT NULL UNIQUE,
            name TEXT NOT NULL,
            vip_only INTEGER NOT NULL DEFAULT 0,
            origin TEXT NOT NULL DEFAULT '',
            added_at INTEGER NOT NULL
        );
        CREATE TABLE library_files (
            id INTEGER PRIMARY KEY AUTOINCREMENT,
            resource_id INTEGER NOT NULL REFERENCES resources(id) ON DELETE CASCADE,
            file_index INTEGER NOT NULL,
            path TEXT NOT NULL,
            disk_path TEXT NOT NULL,
            size INTEGER NOT NULL,
            is_video INTEGER NOT NULL,
            UNIQUE (resource_id, file_index)
        );
        )sql",
        // 3: several mailed passwords may wait at once (a new one does not cancel the others),
        // and a code epoch per account: codes carry it, so that a password change, a loss of VIP
        // or a removal ends the codes issued before.
        R"sql(
        CREATE TABLE pending_passwords (
            id INTEGER PRIMARY KEY,
            user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
            password_hash TEXT NOT NULL,
            expires INTEGER NOT NULL
        );
        CREATE INDEX pending_passwords_user ON pending_passwords(user_id);
        INSERT INTO pending_passwords (user_id, password_hash, expires)
            SELECT id, pending_password_hash, pending_expires FROM users
            WHERE pending_password_hash IS NOT NULL;
        UPDATE users SET pending_password_hash = NULL, pending_expires = 0;
        ALTER TABLE users ADD COLUMN code_epoch INTEGER NOT NULL DEFAULT 0;
        )sql",
        // 4: when a resource was last played, so that fetched ones are given up least recently
        // played first.
        R"sql(
        ALTER TABLE resources ADD COLUMN last_played INTEGER NOT NULL DEFAULT 0;
        )sql",
        // 5: what instances on a shared database keep there (a SQLite file has one instance,
        // which keeps them in DIR/secret.key and in memory); the same tables as on PostgreSQL,
        // so that the stores run alike on both.
        R"sql(
        CREATE TABLE service_secrets (
            name TEXT PRIMARY KEY,
            secret TEXT NOT NULL
        );
        CREATE TABLE code_keys (
            id INTEGER PRIMARY KEY,
            secret TEXT NOT NULL,
            created_at INTEGER NOT NULL,
            signs_from INTEGER NOT NULL
        );
        CREATE TABLE config_items (
            name TEXT PRIMARY KEY,
            body TEXT NOT NULL
        );
        CREATE TABLE rate_events (
            id INTEGER PRIMARY KEY,
            bucket TEXT NOT NULL,
            key TEXT NOT NULL,
            at_ms INTEGER NOT NULL
        );
        CREATE INDEX rate_events_key ON rate_events(bucket, key, at_ms);
        )sql",
        // 6: where accounts stopped in the files they played. The same table as on PostgreSQL.
        R"sql(
        CREATE TABLE play_positions (
            user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
            hash TEXT NOT NULL,
            file_index INTEGER NOT NULL,
            position_ms INTEGER NOT NULL,
            duration_ms INTEGER NOT NULL,
            written_at INTEGER NOT NULL,
            PRIMARY KEY (user_id, hash, file_index)
        );
        CREATE INDEX play_positions_newest ON play_positions(user_id, written_at);
        )sql",
        // 7: fetching spread over workers: one job per info-hash, held under a lease by the
        // worker whose claim raised its epoch last; the workers' heartbeats; and the host that
        // holds a finished fetch's files. The same tables as on PostgreSQL.
        R"sql(
        CREATE TABLE fetch_jobs (
            info_hash TEXT PRIMARY KEY,
            state TEXT NOT NULL,
            epoch INTEGER NOT NULL DEFAULT 0,
            worker TEXT NOT NULL DEFAULT '',
            host TEXT NOT NULL DEFAULT '',
            lease_until INTEGER NOT NULL DEFAULT 0,
            reason TEXT NOT NULL DEFAULT '',
            created_at INTEGER NOT NULL,
            changed_at INTEGER NOT NULL
        );
        CREATE INDEX fetch_jobs_queue ON fetch_jobs(state, lease_until);
        CREATE TABLE fetch_workers (
            id TEXT PRIMARY KEY,
            host TEXT NOT NULL,
            seen_at INTEGER NOT NULL
        );
        CREATE TABLE resource_places (
            resource_id INTEGER PRIMARY KEY REFERENCES resources(id) ON DELETE CASCADE,
            host TEXT NOT NULL,
            placed_at INTEGER NOT NULL
        );
        CREATE INDEX resource_places_host ON resource_places(host);
        )sql",
    };
    return steps;
}

} // namespace server
