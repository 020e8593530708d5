-- The reference-data store's schema, version 4. "{P}" stands for the
-- repository's table prefix. Identifiers that mean "none" are NULL. Columns
-- declared DATE hold Julian day numbers (julianday()). Deletions are explicit:
-- the callers remove dependent rows, so no reference cascades. Identifiers
-- stay below 2^31, so every id fits a signed 32-bit integer, and no id is
-- used twice, even after its row is gone.
--
-- Two kinds of numbering. The small tables number their rows with
-- AUTOINCREMENT (and a CHECK for the bound). The bulk tables (items, texts,
-- version items, values and their links, change records) are numbered by
-- the store from {P}id_sequences: the last id each has handed out, read once
-- per transaction and written back when it commits, instead of SQLite's
-- bookkeeping on every row. The store checks their bound.

CREATE TABLE {P}meta (META_KEY TEXT PRIMARY KEY NOT NULL, META_VALUE TEXT);
CREATE TABLE {P}id_sequences (TABLE_NAME TEXT PRIMARY KEY NOT NULL, LAST_ID INTEGER NOT NULL);

-- Lookup tables.
CREATE TABLE {P}table_codes (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), CODE TEXT NOT NULL UNIQUE, DESCRIPTION TEXT);
CREATE TABLE {P}attribute_contexts (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), NAME TEXT NOT NULL UNIQUE, DESCRIPTION TEXT);
CREATE TABLE {P}attribute_types (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), NAME TEXT NOT NULL UNIQUE, DESCRIPTION TEXT);
CREATE TABLE {P}languages (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), CODE TEXT NOT NULL UNIQUE, NAME TEXT);
CREATE TABLE {P}permissions (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), NAME TEXT NOT NULL UNIQUE, DESCRIPTION TEXT, ACCESS_LEVEL INTEGER);
CREATE TABLE {P}roles (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), NAME TEXT NOT NULL UNIQUE, DESCRIPTION TEXT, NOTE TEXT);

-- Accounts, attributes, items and texts.
CREATE TABLE {P}accounts (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), NAME TEXT, ACCOUNT_TYPE TEXT, ACCOUNT_KEY TEXT UNIQUE,
  DESCRIPTION TEXT, TEXT5 TEXT, TEXT6 TEXT, TEXT7 TEXT, ROLE_ID INTEGER, CREATED DATE);
CREATE TABLE {P}attributes (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), TYPE_ID INTEGER, CONTEXT_ID INTEGER, NAME TEXT,
  LABEL TEXT, TYPE_NAME TEXT, LANGUAGE_ID INTEGER, FLAG TEXT, CREATED DATE, ACCOUNT_ID INTEGER, NOTE TEXT);
CREATE TABLE {P}items (ID INTEGER PRIMARY KEY, ITEM_KEY TEXT, ITEM_TEXT TEXT, FLAG1 TEXT, FLAG2 TEXT,
  TEXT2 TEXT, ACCOUNT_ID INTEGER);
CREATE TABLE {P}item_permissions (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), ITEM_ID INTEGER, ACCOUNT_ID INTEGER,
  PERMISSION_ID INTEGER);
CREATE TABLE {P}localized_texts (ID INTEGER PRIMARY KEY, TEXT_VALUE TEXT, LANGUAGE_ID INTEGER);

-- Domains and their versions.
CREATE TABLE {P}domains (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), NAME TEXT, DESCRIPTION TEXT, TEXT1 TEXT, FLAG1 TEXT,
  FLAG2 TEXT, SCOPE TEXT, NUMBER1 INTEGER, TEXT8 TEXT, ACCOUNT_ID INTEGER, NUMBER10 INTEGER, DATE11 DATE,
  KIND_CODE TEXT, CREATED DATE);
CREATE TABLE {P}domain_versions (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), DOMAIN_ID INTEGER, VERSION_NUMBER INTEGER,
  LABEL TEXT, FLAG1 TEXT, FLAG2 TEXT, VERSION_TEXT TEXT, ACCOUNT_ID INTEGER, FLAG8 TEXT, NUMBER9 INTEGER,
  DATE10 DATE, CREATED DATE);
CREATE TABLE {P}domain_permissions (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), DOMAIN_ID INTEGER, KIND TEXT,
  ACCOUNT_ID INTEGER, ACCESS_NAME TEXT, NOTE TEXT, PERMISSION_ID INTEGER, ROLE_ID INTEGER);
CREATE TABLE {P}version_permissions (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), VERSION_ID INTEGER, ACCOUNT_ID INTEGER,
  GRANTED DATE, PERMISSION_ID INTEGER, NOTE TEXT);
CREATE TABLE {P}domain_role_permissions (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), DOMAIN_ID INTEGER,
  ACCOUNT_ID INTEGER, ROLE_ID INTEGER);
CREATE TABLE {P}domain_associations (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), DOMAIN_ID INTEGER, ASSOCIATION_TEXT TEXT);
CREATE TABLE {P}domain_languages (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), DOMAIN_ID INTEGER, LANGUAGE_ID INTEGER);
CREATE TABLE {P}version_languages (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), VERSION_ID INTEGER,
  DOMAIN_LANGUAGE_ID INTEGER);
CREATE TABLE {P}domain_attributes (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), DOMAIN_ID INTEGER, ATTRIBUTE_ID INTEGER);
CREATE TABLE {P}domain_attribute_permissions (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), DOMAIN_ID INTEGER,
  ACCOUNT_ID INTEGER, PERMISSION_ID INTEGER);
CREATE TABLE {P}domain_attribute_values (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), DOMAIN_ATTRIBUTE_ID INTEGER,
  VALUE_TEXT TEXT, FLAG TEXT, LANGUAGE_ID INTEGER);
CREATE TABLE {P}version_attributes (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), DOMAIN_ID INTEGER,
  DOMAIN_ATTRIBUTE_ID INTEGER, VERSION_ID INTEGER, FLAG TEXT);
CREATE TABLE {P}version_values (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), VERSION_ID INTEGER,
  DOMAIN_ATTRIBUTE_VALUE_ID INTEGER);
CREATE TABLE {P}version_items (ID INTEGER PRIMARY KEY, VERSION_ID INTEGER, ITEM_ID INTEGER,
  CREATED DATE, POSITION INTEGER, LABEL TEXT, PARENT_ITEM_ID INTEGER);
-- ITEM_ID and VERSION_ID are copied from the version item when the value is
-- stored: a copied version reaches the value through its links and the item
-- even after the version item it was made for is gone.
CREATE TABLE {P}item_attribute_values (ID INTEGER PRIMARY KEY, VERSION_ITEM_ID INTEGER,
  ATTRIBUTE_ID INTEGER, ITEM_ID INTEGER, VERSION_ID INTEGER);
CREATE TABLE {P}version_item_values (ID INTEGER PRIMARY KEY, VERSION_ID INTEGER,
  ITEM_ATTRIBUTE_VALUE_ID INTEGER);
-- A link row (a text of a value) is shared by every version that holds it:
-- a new version that keeps a value's text takes the row its older version
-- has. Which rows a version holds is {P}version_link_sets: one row per
-- version and block of 4096 link ids, whose BITS (512 bytes) have bit
-- ID % 4096 set (get_bit) for each row of the block the version holds. A
-- link row lives as long as a version holds it. Its VERSION_ID is NULL or a
-- version that holds it (the newest to have taken it): that version's
-- listings know it is theirs without a look at the bitmaps.
CREATE TABLE {P}version_item_value_links (ID INTEGER PRIMARY KEY, VERSION_ID INTEGER,
  LOCALIZED_TEXT_ID INTEGER, ITEM_ATTRIBUTE_VALUE_ID INTEGER);
CREATE TABLE {P}version_link_sets (VERSION_ID INTEGER NOT NULL, BLOCK INTEGER NOT NULL, BITS BLOB NOT NULL,
  PRIMARY KEY (VERSION_ID, BLOCK)) WITHOUT ROWID;
CREATE TABLE {P}change_records (ID INTEGER PRIMARY KEY, DOMAIN_ID INTEGER, STATUS TEXT,
  OBJECT_ID INTEGER, TABLE_CODE TEXT, DESCRIPTION TEXT, LANGUAGE_ID INTEGER, ACCOUNT_ID INTEGER, CREATED DATE);
CREATE TABLE {P}domain_extras (ID INTEGER PRIMARY KEY AUTOINCREMENT CHECK (ID < 2147483648), TEXT1 TEXT, TEXT2 TEXT, DOMAIN_ID INTEGER,
  NUMBER INTEGER, TEXT3 TEXT, TEXT4 TEXT);

-- Every column that a listing filters or joins by, where the table is large
-- enough for it to matter. Texts by language and values by attribute are
-- looked for only when a language or an attribute is deleted: a scan then
-- costs less than an index entry for every text and value written.
CREATE INDEX {P}accounts_name ON {P}accounts (NAME);
CREATE INDEX {P}attributes_name ON {P}attributes (NAME, LABEL);
CREATE INDEX {P}attributes_label ON {P}attributes (LABEL);
CREATE INDEX {P}items_key ON {P}items (ITEM_KEY);
CREATE INDEX {P}item_permissions_item ON {P}item_permissions (ITEM_ID);
CREATE INDEX {P}item_permissions_account ON {P}item_permissions (ACCOUNT_ID);
CREATE INDEX {P}domains_name ON {P}domains (NAME);
-- A domain's version numbers are unique: two writers can never both
-- store version N of one domain.
CREATE UNIQUE INDEX {P}domain_versions_domain ON {P}domain_versions (DOMAIN_ID, VERSION_NUMBER);
CREATE INDEX {P}domain_permissions_domain ON {P}domain_permissions (DOMAIN_ID);
CREATE INDEX {P}domain_permissions_account ON {P}domain_permissions (ACCOUNT_ID);
CREATE INDEX {P}version_permissions_version ON {P}version_permissions (VERSION_ID);
CREATE INDEX {P}domain_role_permissions_domain ON {P}domain_role_permissions (DOMAIN_ID);
CREATE INDEX {P}domain_associations_domain ON {P}domain_associations (DOMAIN_ID);
CREATE INDEX {P}domain_languages_domain ON {P}domain_languages (DOMAIN_ID);
CREATE INDEX {P}version_languages_version ON {P}version_languages (VERSION_ID);
CREATE INDEX {P}domain_attributes_domain ON {P}domain_attributes (DOMAIN_ID);
CREATE INDEX {P}domain_attributes_attribute ON {P}domain_attributes (ATTRIBUTE_ID);
CREATE INDEX {P}domain_attribute_permissions_domain ON {P}domain_attribute_permissions (DOMAIN_ID);
CREATE INDEX {P}domain_attribute_values_attribute ON {P}domain_attribute_values (DOMAIN_ATTRIBUTE_ID);
CREATE INDEX {P}version_attributes_version ON {P}version_attributes (VERSION_ID);
CREATE INDEX {P}version_attributes_domain ON {P}version_attributes (DOMAIN_ID);
CREATE INDEX {P}version_values_version ON {P}version_values (VERSION_ID);
CREATE INDEX {P}version_items_version ON {P}version_items (VERSION_ID);
CREATE INDEX {P}version_items_item ON {P}version_items (ITEM_ID, VERSION_ID);
CREATE INDEX {P}version_items_parent ON {P}version_items (PARENT_ITEM_ID);
CREATE INDEX {P}item_attribute_values_version_item ON {P}item_attribute_values (VERSION_ITEM_ID);
CREATE INDEX {P}item_attribute_values_item ON {P}item_attribute_values (ITEM_ID);
CREATE INDEX {P}item_attribute_values_version ON {P}item_attribute_values (VERSION_ID);
CREATE INDEX {P}version_item_values_version ON {P}version_item_values (VERSION_ID);
CREATE INDEX {P}version_item_values_value ON {P}version_item_values (ITEM_ATTRIBUTE_VALUE_ID);
CREATE INDEX {P}version_item_value_links_value ON {P}version_item_value_links (ITEM_ATTRIBUTE_VALUE_ID);
CREATE INDEX {P}version_item_value_links_text ON {P}version_item_value_links (LOCALIZED_TEXT_ID);
CREATE INDEX {P}version_link_sets_block ON {P}version_link_sets (BLOCK);
CREATE INDEX {P}change_records_domain ON {P}change_records (DOMAIN_ID);
CREATE INDEX {P}domain_extras_domain ON {P}domain_extras (DOMAIN_ID);

-- Seeds: what a repository needs to be usable.
INSERT INTO {P}meta (META_KEY, META_VALUE) VALUES ('SCHEMA_VERSION', '4');
INSERT INTO {P}id_sequences (TABLE_NAME, LAST_ID) VALUES ('items', 0), ('localized_texts', 0),
  ('version_items', 0), ('item_attribute_values', 0), ('version_item_values', 0),
  ('version_item_value_links', 0), ('change_records', 0);
INSERT INTO {P}languages (ID, CODE, NAME) VALUES (1, 'en', 'English'), (2, 'de', 'German'), (3, 'fr', 'French');
INSERT INTO {P}roles (ID, NAME, DESCRIPTION, NOTE) VALUES (1, 'DEFAULT', 'Default role', NULL),
  (2, 'ADMINISTRATOR', 'Administers the repository', NULL), (3, 'EDITOR', 'Edits reference data', NULL),
  (4, 'READER', 'Reads reference data', NULL);
INSERT INTO {P}accounts (ID, NAME, ACCOUNT_TYPE, ACCOUNT_KEY, DESCRIPTION, ROLE_ID, CREATED)
  VALUES (1, 'admin', 'USER', 'admin', 'Repository administrator', 2, julianday('now'));
INSERT INTO {P}attribute_types (ID, NAME, DESCRIPTION) VALUES (1, 'SINGLELINETEXT', 'One line of text'),
  (2, 'MULTILINETEXT', 'Text of several lines'), (3, 'NUMBER', 'A number'), (4, 'DATE', 'A date'),
  (5, 'BOOLEAN', 'Yes or no');
INSERT INTO {P}attribute_contexts (ID, NAME, DESCRIPTION) VALUES (1, 'DEFAULT', 'Default context'),
  (2, 'ITEM', 'Attributes of items'), (3, 'DOMAIN', 'Attributes of domains');
INSERT INTO {P}permissions (ID, NAME, DESCRIPTION, ACCESS_LEVEL) VALUES (1, 'READ', 'Read reference data', 1),
  (2, 'WRITE', 'Change reference data', 2), (3, 'PUBLISH', 'Publish versions', 3),
  (4, 'ADMIN', 'Administer domains and accounts', 4);
INSERT INTO {P}table_codes (CODE, DESCRIPTION) VALUES ('RDDOMS', 'Domains'), ('RDDOVR', 'Domain versions'),
  ('RDATRS', 'Attributes'), ('RDDOIT', 'Items'), ('RDACTS', 'Accounts'), ('RDITVV', 'Item attribute values'),
  ('RDDOAT', 'Domain attributes'), ('RDDATV', 'Version attributes'), ('RDITVR', 'Version items'),
  ('RDDOIA', 'Item attributes of a version');
