#include <map>
#include <set>
#include <utility>

#include "Persistence/OstrelRepository.hpp"

// The shape the statements need is the one the migration makes from nothing, and a file is
// acceptable when the migration brings it there. Both are found by migrating in memory: once from
// nothing, and once from each of the file's own table definitions. So every older shape that the
// migration upgrades passes, and nothing is written to the file to find out.
namespace ostrel {
namespace {

struct SchemaObject {
    std::string type;
    std::string name;
    std::string table;
    std::string sql;
};

struct TableShape {
    std::set<std::string> columns;
    // The primary key and each unique index, as sets of columns: the targets of ON CONFLICT.
    std::set<std::set<std::string>> keys;
};

constexpr const char* kObjectsSQL =
    "SELECT type, name, tbl_name, sql FROM sqlite_master WHERE name NOT LIKE 'sqlite\\_%' ESCAPE '\\';";

std::vector<SchemaObject> objectsOf(SQLiteConnection& connection) {
    std::vector<SchemaObject> objects;
    connection.query(kObjectsSQL, {}, [&](const SQLiteRow& row) {
        objects.push_back({row.text(0), row.text(1), row.text(2), row.text(3)});
    });
    return objects;
}

TableShape shapeOf(SQLiteConnection& connection, const std::string& table) {
    TableShape shape;
    std::set<std::string> primaryKey;
    connection.query("SELECT name, pk FROM pragma_table_info(?);", {table}, [&](const SQLiteRow& row) {
        shape.columns.insert(row.text(0));
        if (row.int64(1) > 0) primaryKey.insert(row.text(0));
    });
    if (!primaryKey.empty()) shape.keys.insert(std::move(primaryKey));
    std::vector<std::string> uniqueIndexes;
    connection.query("SELECT name FROM pragma_index_list(?) WHERE \"unique\" = 1 AND partial = 0;", {table},
                     [&](const SQLiteRow& row) { uniqueIndexes.push_back(row.text(0)); });
    for (const auto& index : uniqueIndexes) {
        std::set<std::string> key;
        connection.query("SELECT name FROM pragma_index_info(?);", {index},
                         [&](const SQLiteRow& row) { key.insert(row.text(0)); });
        shape.keys.insert(std::move(key));
    }
    return shape;
}

std::string listed(const std::set<std::string>& columns) {
    std::string text;
    for (const auto& column : columns) text += (text.empty() ? "" : ", ") + column;
    return "(" + text + ")";
}

[[noreturn]] void refuse(const std::string& why) {
    throw UnknownDatabaseShape("The database does not have the shape Ostrel uses: " + why);
}

}  // namespace

void OstrelRepository::checkShape(SQLiteConnection& file) {
    std::map<std::string, std::string> expectedTypes;
    std::map<std::string, TableShape> expected;
    OstrelRepository(std::make_unique<SQLiteDatabase>(":memory:")).database->runExclusive([&](SQLiteConnection& c) {
        for (const auto& object : objectsOf(c)) {
            expectedTypes[object.name] = object.type;
            if (object.type == "table") expected[object.name] = shapeOf(c, object.name);
        }
    });

    const auto objects = objectsOf(file);
    for (const auto& object : objects) {
        const auto wanted = expectedTypes.find(object.name);
        // CREATE ... IF NOT EXISTS passes over a view or index of the name, and the writes fail.
        if (wanted != expectedTypes.end() && wanted->second != object.type) {
            refuse("it holds a " + object.type + " named " + object.name + " where Ostrel keeps a " + wanted->second);
        }
    }
    // Each of the file's tables is migrated on its own, with its indexes, so that a failure names it.
    for (const auto& table : objects) {
        if (table.type != "table" || !expected.contains(table.name)) continue;
        const TableShape& wanted = expected[table.name];
        const auto requireColumns = [&](const TableShape& found) {
            for (const auto& column : wanted.columns) {
                if (!found.columns.contains(column)) refuse("the table " + table.name + " has no column " + column);
            }
        };
        TableShape found;
        try {
            const OstrelRepository copy(std::make_unique<SQLiteDatabase>(":memory:", [&](SQLiteConnection& c) {
                c.execute(table.sql);
                for (const auto& index : objects) {
                    if (index.type == "index" && index.table == table.name && !index.sql.empty()) c.execute(index.sql);
                }
            }));
            copy.database->runExclusive([&](SQLiteConnection& c) { found = shapeOf(c, table.name); });
        } catch (const SQLiteError& error) {
            // Most often a column the migration indexes but does not add.
            requireColumns(shapeOf(file, table.name));
            refuse("the table " + table.name + " cannot be brought up to date: " + error.what());
        }
        requireColumns(found);
        for (const auto& key : wanted.keys) {
            if (!found.keys.contains(key)) refuse("the table " + table.name + " has no unique key " + listed(key));
        }
    }
}

}  // namespace ostrel
