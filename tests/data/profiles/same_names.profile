[Generic settings]
src=decimal_range.csv
mode=1

[MS Excel settings]
convert from xls=0
extract field names=1

[Type Mappings]
tables:
  - name: prices
    fields:
      - name: price
        new_name: ID
