-- The line's views read a time range across all stations; the (station, started_at) index only
-- serves one station at a time.
CREATE INDEX test_record_started_at ON test_record (started_at);
