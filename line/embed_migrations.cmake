# cmake -DOUT=file.cpp -DFILES="a.sql;b.sql" -P embed_migrations.cmake
# Writes the migrations into a table of (number, name, text), in the order given.
set(body "#include \"line_schema.h\"\n\nconst std::vector<LineMigration>& LineMigrations()\n{\n    static const std::vector<LineMigration> all = {\n")
foreach(f ${FILES})
  get_filename_component(name ${f} NAME_WE)
  string(REGEX MATCH "^[0-9]+" number ${name})
  math(EXPR number "${number}")
  file(READ ${f} text)
  string(APPEND body "        {${number}, \"${name}\", R\"vorlaine_sql(${text})vorlaine_sql\"},\n")
endforeach()
string(APPEND body "    };\n    return all;\n}\n")
file(WRITE ${OUT}.tmp "${body}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
