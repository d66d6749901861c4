[Generic settings]
src=months.xlsx

[MS Excel settings]
extract field names=1

[Type Mappings]
tables:
  - name: Jan
    new_name: sales
  - name: Feb
    new_name: sales
