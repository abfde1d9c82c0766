-- Roles belong to the cluster, not to one database: a second line database finds them made.
-- Log-in roles are members: CREATE ROLE station_042 LOGIN IN ROLE vorlaine_station;
DO $$
BEGIN
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'vorlaine_station') THEN
    CREATE ROLE vorlaine_station NOLOGIN;
  END IF;
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'vorlaine_reader') THEN
    CREATE ROLE vorlaine_reader NOLOGIN;
  END IF;
END
$$;

-- Limits, reference, mask and range of a record, stored once: a record names them by the
-- SHA-256 of their parameter text rather than repeating 160 numbers.
CREATE TABLE limit_set (
  hash bytea PRIMARY KEY CHECK (length(hash) = 32),
  upper_limit real[] NOT NULL CHECK (cardinality(upper_limit) = 32),
  lower_limit real[] NOT NULL CHECK (cardinality(lower_limit) = 32),
  reference real[] NOT NULL CHECK (cardinality(reference) = 32),
  mask smallint[] NOT NULL CHECK (cardinality(mask) = 32),
  range_high double precision NOT NULL,
  range_low double precision NOT NULL,
  first_seen timestamptz NOT NULL DEFAULT now()
);

CREATE TABLE test_record (
  record_uuid uuid NOT NULL,
  started_at timestamptz NOT NULL,
  ended_at timestamptz NOT NULL,
  station_db uuid NOT NULL,
  local_seq bigint NOT NULL CHECK (local_seq > 0),
  station text NOT NULL,
  board_kind text NOT NULL,
  board_identity text NOT NULL,
  page integer NOT NULL,
  cell_column integer NOT NULL,
  cell_row integer NOT NULL,
  pass boolean NOT NULL,
  failing_channels bigint NOT NULL CHECK (failing_channels BETWEEN 0 AND 4294967295),
  passes integer NOT NULL CHECK (passes >= 0),
  vals real[] NOT NULL CHECK (cardinality(vals) = 32),
  limit_set bytea NOT NULL REFERENCES limit_set (hash),
  config_hash text NOT NULL,
  received_at timestamptz NOT NULL DEFAULT clock_timestamp(),
  PRIMARY KEY (record_uuid, started_at),
  UNIQUE (station_db, local_seq, started_at),
  CONSTRAINT test_record_ends_after_start CHECK (ended_at >= started_at)
) PARTITION BY RANGE (started_at);
CREATE INDEX test_record_station ON test_record (station, started_at);

-- A month's partition, made by the first record that needs it. Stations may not create tables,
-- so this runs as the schema's owner; the lock keeps two stations from making the same one.
CREATE FUNCTION line_ensure_partition(at timestamptz) RETURNS void
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, public AS $$
DECLARE
  first timestamp := date_trunc('month', at AT TIME ZONE 'UTC');
  part text := format('test_record_%s', to_char(first, 'YYYY_MM'));
BEGIN
  IF to_regclass(part) IS NOT NULL THEN
    RETURN;
  END IF;
  PERFORM pg_advisory_xact_lock(hashtext(part));
  IF to_regclass(part) IS NULL THEN
    EXECUTE format('CREATE TABLE public.%I PARTITION OF public.test_record FOR VALUES FROM (%L) TO (%L)',
                   part, first AT TIME ZONE 'UTC', (first + interval '1 month') AT TIME ZONE 'UTC');
  END IF;
END
$$;

CREATE TABLE station_status (
  station_db uuid PRIMARY KEY,
  station_role name NOT NULL,
  station text NOT NULL,
  state text NOT NULL,
  board_kind text NOT NULL,
  board_identity text NOT NULL,
  config_hash text NOT NULL,
  program_version text NOT NULL,
  backlog bigint NOT NULL,
  oldest_unsent timestamptz,
  quarantined bigint NOT NULL,
  updated_at timestamptz NOT NULL DEFAULT now()
);

-- A station writes its own status only: the row belongs to the role that made it.
CREATE FUNCTION line_heartbeat(p_station_db uuid, p_station text, p_state text, p_board_kind text,
                               p_board_identity text, p_config_hash text, p_program_version text,
                               p_backlog bigint, p_oldest_unsent timestamptz, p_quarantined bigint)
RETURNS boolean
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, public AS $$
BEGIN
  INSERT INTO public.station_status AS s (station_db, station_role, station, state, board_kind, board_identity,
                                          config_hash, program_version, backlog, oldest_unsent, quarantined)
  VALUES (p_station_db, session_user, p_station, p_state, p_board_kind, p_board_identity, p_config_hash,
          p_program_version, p_backlog, p_oldest_unsent, p_quarantined)
  ON CONFLICT (station_db) DO UPDATE
    SET station = EXCLUDED.station, state = EXCLUDED.state, board_kind = EXCLUDED.board_kind,
        board_identity = EXCLUDED.board_identity, config_hash = EXCLUDED.config_hash,
        program_version = EXCLUDED.program_version, backlog = EXCLUDED.backlog,
        oldest_unsent = EXCLUDED.oldest_unsent, quarantined = EXCLUDED.quarantined, updated_at = now()
    WHERE s.station_role = EXCLUDED.station_role;
  RETURN FOUND;
END
$$;

REVOKE ALL ON FUNCTION line_ensure_partition(timestamptz) FROM PUBLIC;
REVOKE ALL ON FUNCTION line_heartbeat(uuid, text, text, text, text, text, text, bigint, timestamptz, bigint)
  FROM PUBLIC;
GRANT INSERT ON test_record, limit_set TO vorlaine_station;
GRANT EXECUTE ON FUNCTION line_ensure_partition(timestamptz) TO vorlaine_station;
GRANT EXECUTE ON FUNCTION line_heartbeat(uuid, text, text, text, text, text, text, bigint, timestamptz, bigint)
  TO vorlaine_station;
GRANT SELECT ON test_record, limit_set, station_status TO vorlaine_reader;
GRANT SELECT ON schema_migrations TO vorlaine_reader;
