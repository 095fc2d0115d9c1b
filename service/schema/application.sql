-- db/application.db: the user accounts that the service checks at every
-- login. The console writes the rows; the service only reads them.
--
-- Text compares without regard to letter case, as the Access files did, so a
-- received text beginning "Bob" reaches the user bob. AUTOINCREMENT keeps an
-- ID from being handed out again after its row was deleted.
PRAGMA journal_mode = WAL;

CREATE TABLE Users (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    UserName TEXT COLLATE NOCASE,
    UserPassword TEXT COLLATE NOCASE,
    FirstName TEXT COLLATE NOCASE,
    LastName TEXT COLLATE NOCASE,
    ModeratorAccess INTEGER,
    ManualNumberPermission INTEGER
);
