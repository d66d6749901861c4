[Generic settings]
src=dropped_column.csv
mode=1

[MS Excel settings]
convert from xls=0
extract field names=1

[Type Mappings]
tables:
  - name: sales
    fields:
      - name: label
        status: deleted
