# Writes OUT: a source defining terminal_schema_sql() with the text of IN.
file(READ "${IN}" text)
file(WRITE "${OUT}" "#include \"localdb/terminal_schema.h\"\nnamespace pos {\nconst std::string& terminal_schema_sql() {\n  static const std::string sql = R\"SCHEMA(${text})SCHEMA\";\n  return sql;\n}\n}  // namespace pos\n")
