#include "Persistence/OstrelRepository.hpp"

// The orphan deletes of the purge read every sample's identifier; whether they would delete
// anything at all is a few index look-ups.
namespace ostrel {
namespace {

constexpr const char* orphanedApplicationSQL =
    "SELECT EXISTS (SELECT 1 FROM applications a\n"
    "                WHERE NOT EXISTS (SELECT 1 FROM usage_samples us WHERE us.app_id = a.id));";
constexpr const char* orphanedNetworkSQL =
    "SELECT EXISTS (SELECT 1 FROM networks n\n"
    "                WHERE NOT EXISTS (SELECT 1 FROM usage_samples us WHERE us.network_id = n.id));";

bool exists(SQLiteConnection& connection, const char* sql) {
    bool found = false;
    connection.query(sql, {}, [&](const SQLiteRow& row) { found = row.int64(0) == 1; });
    return found;
}

}  // namespace

void OstrelRepository::deleteOrphans(SQLiteConnection& connection) {
    if (exists(connection, orphanedApplicationSQL)) {
        connection.execute("DELETE FROM applications WHERE id NOT IN (SELECT DISTINCT app_id FROM usage_samples);");
    }
    if (exists(connection, orphanedNetworkSQL)) {
        connection.execute("DELETE FROM networks WHERE id NOT IN (SELECT DISTINCT network_id FROM usage_samples);");
    }
}

}  // namespace ostrel
