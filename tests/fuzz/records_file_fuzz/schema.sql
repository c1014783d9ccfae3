ALTER TABLE records RENAME TO kept; CREATE VIEW records AS SELECT * FROM kept;
INSERT INTO schema_version VALUES (3);
