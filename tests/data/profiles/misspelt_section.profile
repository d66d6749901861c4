[Generic settings]
src=three_sheets.xlsx
dest=gridload_profiles
mode=1
only definitions=0
skip indexes=0

[MS Excel settings]
convert from xls=1
extract field names=1
refine types=0

[MySQL settings]
direct mode=1
host=127.0.0.1
user=root
port=3306

[Selected Tables]
Customers
Orders

[Type Mappings]
tables:
  - name: Customers
    new_name: clients
    fields:
      - name: name
        new_name: full_name
      - name: email
        new_name: mail
      - name: note
        status: deleted
      - name: balance
        type: DECIMAL
        precision: 10
        scale: 2
