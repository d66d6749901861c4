[Generic settings]
src=three_sheets.xlsx
dest=gridload_profiles
mode=0
only definitions=no
skip indexes=false

[MS Excel settings]
convert from xls=1
extract field names=1
refine types=yes

[MySQL settings]
direct mode=1
host=127.0.0.1
user=root
port=3306

[Selected Tables]
Orders
