DELETE FROM schema_version; PRAGMA user_version = 1; ALTER TABLE records DROP COLUMN customer_email; UPDATE records SET operator = X'4dfc6c6c6572';
