[Generic settings]
src=three_sheets.xlsx
mode=0

[MS Excel settings]
extract field names=1

[Type Mappings]
tables:
  - name: Customers
    fields:
      - name: note
        type: ENUM(vip,late)
