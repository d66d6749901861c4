[Generic settings]
src=latin1_table.csv
mode=1

[MS Excel settings]
convert from xls=0
extract field names=1

[Type Mappings]
tables:
  - name: people
    properties:
        character set: latin1
