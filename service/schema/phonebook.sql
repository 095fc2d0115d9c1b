-- db/phonebook.db: the shared phone book and its groups. The console writes
-- the rows; the service searches them and expands groups to numbers.
--
-- Text compares and sorts without regard to letter case, as the Access files
-- did. IDs are never handed out again after a delete: link rows outlive the
-- contacts and groups they name, and must not attach to a newer row.
PRAGMA journal_mode = WAL;

CREATE TABLE Contact (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    FirstName TEXT COLLATE NOCASE,
    LastName TEXT COLLATE NOCASE,
    Company TEXT COLLATE NOCASE,
    Phonenumber TEXT COLLATE NOCASE
);

CREATE TABLE Groups (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    GroupName TEXT COLLATE NOCASE
);

-- One row per membership; nothing removes these when a contact or a group
-- is deleted.
CREATE TABLE ContactGroupLink (
    GroupID INTEGER,
    ContactID INTEGER
);
