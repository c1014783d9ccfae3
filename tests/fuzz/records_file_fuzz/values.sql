UPDATE records SET sensor_id = 99999999999, unit = 'TP' || char(27) || '[31m' WHERE id = 1;
UPDATE record_results SET row_position = 2147483647, budget = 'contribution 1e999 0 1 x', verdict = 'pass' WHERE record_id = 1;
