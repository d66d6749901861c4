[Generic settings]
src=three_sheets.xlsx
dest=gridload_profiles
mode=0

[MS Excel settings]
convert from xls=1
extract field names=1

[MySQL settings]
direct mode=1
host=127.0.0.1
user=root
port=3306

[Selected Tables]
Customers

[Type Mappings]
tables:
  - name: Customers
    properties:
        engine: MyISAM
    fields:
      - name: note
        status: deleted
