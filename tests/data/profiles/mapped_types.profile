[Generic settings]
src=mapped.xlsx

[MS Excel settings]
extract field names=1

[Type Mappings]
tables:
  - name: m
    fields:
      - name: small
        type: SMALLINT
      - name: moment
        type: DATETIME
      - name: day
        type: DATE
      - name: note
        type: TEXT
      - name: brief
        type: TINYTEXT
      - name: stamp
        type: TIMESTAMP
      - name: yr
        type: YEAR
      - name: dur
        type: TIME
  - name: u
    fields:
      - name: v
        type: FOOBAR
  - name: t
    fields:
      - name: short
        type: TEXT(50)
      - name: bin
        type: BLOB(10)
  - name: a
    fields:
      - name: n
        type: INT AUTO_INCREMENT
