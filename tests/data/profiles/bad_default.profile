[Generic settings]
src=durations.csv
mode=1

[MS Excel settings]
convert from xls=0
extract field names=1

[Type Mappings]
tables:
  - name: runs
    fields:
      - name: took
        type: DATE
        default_value: 2024-00-00
