[Generic settings]
src=mapped_defaults.csv
mode=1

[MS Excel settings]
convert from xls=0
extract field names=1

[Type Mappings]
tables:
  - name: stock
    fields:
      - name: qty
        default_value: unknown
      - name: day
        default_value: never
      - name: n
        default_value: 7
