[Generic settings]
src=three_sheets.xlsx
dest=gridload_profiles
mode=0

[MS Excel settings]
convert from xls=1
extract field names=1
refine types=0

[MySQL settings]
direct mode=1
host=127.0.0.1
user=root
port=3306

[Selected Tables]
Orders

[Type Mappings]
database:
  engine: InnoDB
tables:
  - name: Orders
    new_name: orders_2024
    fields:
      - name: ordered
        type: DATE
    properties:
        engine: MyISAM
        character set: latin1
